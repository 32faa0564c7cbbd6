// Writes one valid datagram of every message type, and every sealed body,
// into a directory: the fuzzer's seed corpus.

#include "wiresamples.h"

#include <cstdio>
#include <fstream>

int main(int argc, char **argv)
{
    using namespace vexa;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    auto write = [&dir](const std::string &name, const wire::Bytes &bytes) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out);
    };
    bool ok = true;
    for (const auto &[name, message] : samples::messages())
        ok &= write(name, wire::encode(message));
    wire::ModifyBody modify;
    modify.password = "admin12345";
    modify.setGateway = true;
    modify.confirm = true;
    ok &= write("body_modify", wire::encodeBody(modify));
    ok &= write("body_reset", wire::encodeBody(wire::ResetBody{{}, {}, "GGIUR52XWHW4QOEYNDDZ"}));
    modify.requester.emplace().fill(0x5A);
    ok &= write("body_modify_requester", wire::encodeBody(modify));
    ok &= write("body_reset_requester",
                wire::encodeBody(wire::ResetBody{{}, {}, "GGIUR52XWHW4QOEYNDDZ", wire::RequesterId{0x5B}}));
    for (const auto &[name, body] : samples::jobBodies())
        ok &= write(name, wire::encodeBody(body));
    return ok ? 0 : 1;
}
