#pragma once

// One valid message of every type, shared by the codec tests and the
// program that writes the fuzzer's seed corpus.

#include <vexa/wire.h>

#include <string>
#include <utility>
#include <vector>

namespace vexa::samples {

inline wire::DeviceInfo deviceInfo()
{
    wire::DeviceInfo d;
    d.serial = "VX-2024-000123";
    d.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    d.ipv4Addr = {192, 168, 1, 64};
    d.ipv4Mask = {255, 255, 255, 0};
    d.ipv4Gateway = {192, 168, 1, 1};
    d.typeCode = 0x9F01;
    d.port = 8000;
    d.httpPort = 80;
    d.channels = 4;
    d.softwareVersion = "V5.4.0 build 240517";
    d.dspVersion = "V7.3";
    d.startTime = "2024-05-17 08:30:00";
    d.typeName = "IPC-4K";
    d.ipv6Addr = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1a, 0x2b, 0xff, 0xfe, 0x3c, 0x4d, 0x5e};
    d.ipv6Gateway = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    d.ipv6PrefixLen = 64;
    d.capabilities = 0x07;
    d.dhcpOn = 1;
    d.extInfo = 1;
    return d;
}

inline std::vector<std::pair<std::string, wire::Message>> messages()
{
    wire::Announce announce;
    announce.reason = wire::AnnounceReason::InquiryAnswer;
    announce.toolId.fill(0x11);
    announce.publicKey.fill(0x22);
    announce.info = deviceInfo();
    announce.info.certificate.emplace().fill(0x77);
    announce.info.confirmWindowS = 20;
    announce.info.jobs = wire::jobBit(wire::JobKind::ReadClock) | wire::jobBit(wire::JobKind::Reboot);

    // Revision 5: the device certificate and the signature, always the last TLV.
    wire::Announce signedAnnounce = announce;
    signedAnnounce.reason = wire::AnnounceReason::Heartbeat;
    signedAnnounce.toolId = {};
    signedAnnounce.info.deviceCertificate.emplace();
    signedAnnounce.info.deviceCertificate->signingKey.fill(0x78);
    signedAnnounce.info.deviceCertificate->signature.fill(0x79);
    signedAnnounce.signature = wire::AnnounceSignature{0x0102030405060708, {}};
    signedAnnounce.signature->signature.fill(0x7A);

    wire::Nonce nonce;
    nonce.requestId = 0x01020304;
    nonce.nonce.fill(0x33);
    nonce.publicKey.fill(0x22);
    nonce.serial = deviceInfo().serial;
    nonce.mac = deviceInfo().mac;
    nonce.target = wire::Target::byMac(deviceInfo().mac);

    wire::Result result;
    result.requestId = 0x01020304;
    result.status = wire::Status::WrongPassword;
    result.target = wire::Target::bySerial(deviceInfo().serial);
    result.tag.fill(0x44);

    wire::JobResult jobResult;
    jobResult.requestId = 0x0A0B0C0D;
    jobResult.status = wire::Status::NotOffered;
    jobResult.target = wire::Target::byMac(deviceInfo().mac);
    jobResult.clockMs = -1; // before 1970: the codec carries any clock, a tool judges it
    jobResult.uptimeS = 86400;
    jobResult.tag.fill(0x45);

    return {
        {"inquiry", wire::Inquiry{wire::ToolId{1, 2, 3}, 500}},
        {"announce", announce},
        {"goodbye", wire::Goodbye{deviceInfo().serial, deviceInfo().mac}},
        {"nonce_request_mac", wire::NonceRequest{7, wire::Target::byMac(deviceInfo().mac)}},
        {"nonce_request_serial", wire::NonceRequest{8, wire::Target::bySerial(deviceInfo().serial)}},
        {"nonce", nonce},
        {"modify", wire::Modify{9, deviceInfo().mac, wire::Bytes(wire::kModifySealedSize, 0x55)}},
        {"reset", wire::Reset{10, deviceInfo().serial, wire::Bytes(wire::kResetSealedSize, 0x66)}},
        {"announce_signed", signedAnnounce},
        {"modify_requester", wire::Modify{11, deviceInfo().mac, wire::Bytes(wire::kModifySealedSize5, 0x55)}},
        {"reset_requester", wire::Reset{12, deviceInfo().serial, wire::Bytes(wire::kResetSealedSize5, 0x66)}},
        {"result", result},
        {"inquiry_repeat", wire::InquiryRepeat{wire::ToolId{1, 2, 3}, 150, 7, 2, 0x1000, 0x7FFFFFFF,
                                               {0x1000, 0x2345, 0x7FFFFFFF}}},
        {"confirm", wire::Confirm{9, deviceInfo().mac, wire::Tag{0x44}}},
        {"job", wire::Job{13, deviceInfo().mac, wire::Bytes(wire::kJobSealedSize, 0x56)}},
        {"job_result", jobResult},
    };
}

/** One job body of every kind, with the longest parameters each carries. */
inline std::vector<std::pair<std::string, wire::JobBody>> jobBodies()
{
    wire::JobBody read;
    read.nonce.fill(0x31);
    read.replyKey.fill(0x32);
    read.requester.fill(0x33);
    wire::JobBody clock = read;
    clock.kind = uint8_t(wire::JobKind::SetClock);
    clock.password = "admin12345";
    clock.utcMs = 1715935800123;
    wire::JobBody ntp = clock;
    ntp.kind = uint8_t(wire::JobKind::SetNtp);
    ntp.utcMs.reset();
    ntp.ntpServers = {"pool.ntp.org", std::string(wire::kMaxNtpServer, 'n')};
    wire::JobBody password = clock;
    password.kind = uint8_t(wire::JobKind::SetPassword);
    password.password = std::string(wire::kMaxPassword, 'o');
    password.utcMs.reset();
    password.newPassword = std::string(wire::kMaxPassword, 'n');
    wire::JobBody reboot = clock;
    reboot.kind = uint8_t(wire::JobKind::Reboot);
    reboot.utcMs.reset();
    return {{"body_job_read_clock", read},
            {"body_job_set_clock", clock},
            {"body_job_set_ntp", ntp},
            {"body_job_set_password", password},
            {"body_job_reboot", reboot}};
}

} // namespace vexa::samples
