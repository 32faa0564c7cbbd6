// The npm "onvif" client against vexa-devsim's ONVIF devices: discovers them,
// connects to each (GetSystemDateAndTime, GetServices, media profiles), reads
// device information and network interfaces with a UsernameToken digest, and
// readdresses the first; a device whose settings belong to its VXDP side
// refuses. Prints one line per finding; exits 1 on the first disagreement.
'use strict';
const onvif = require('onvif');

const [password, expected, newAddress, managedElsewhere] = process.argv.slice(2);
const serials = expected.split(',');

function fail(message) {
    console.log('FAIL ' + message);
    process.exit(1);
}

function call(cam, method, ...args) {
    return new Promise((resolve, reject) => cam[method](...args, (err, data) => (err ? reject(err) : resolve(data))));
}

function connect(options) {
    return new Promise((resolve, reject) => {
        const cam = new onvif.Cam(options, (err) => (err ? reject(err) : resolve(cam)));
    });
}

// Answers come after a random delay, by UDP: like any client, probe again
// rather than miss a device on a busy host.
async function discover() {
    const byXaddrs = new Map();
    for (let attempt = 0; attempt < 3 && byXaddrs.size < serials.length; ++attempt) {
        const cams = await new Promise((resolve) =>
            onvif.Discovery.probe({ resolve: false, timeout: 2000 }, (err, found) => resolve(err ? [] : found)));
        for (const match of cams)
            byXaddrs.set(match.probeMatches.probeMatch.XAddrs, match);
    }
    return [...byXaddrs.values()];
}

function interfaceOf(cam, networkInterface) {
    return { interfaceToken: networkInterface.$.token,
             networkInterface: { enabled: true, IPv4: { enabled: true, manual: { address: newAddress, prefixLength: 16 },
                                                        DHCP: false } } };
}

async function main() {
    const found = await discover();
    if (found.length !== serials.length)
        fail('discovered ' + found.length + ' devices, expected ' + serials.length);
    const bySerial = {};
    for (const match of found) {
        const xaddr = new URL(match.probeMatches.probeMatch.XAddrs.split(' ')[0]);
        const cam = await connect({ hostname: xaddr.hostname, port: Number(xaddr.port || 80), path: xaddr.pathname,
                                    username: 'admin', password });
        const info = await call(cam, 'getDeviceInformation');
        const interfaces = await call(cam, 'getNetworkInterfaces');
        const mac = interfaces[0].info.hwAddress;
        console.log('device ' + info.serialNumber + ' ' + mac + ' ' + xaddr.hostname + ' profiles '
                    + (cam.profiles || []).length);
        bySerial[info.serialNumber] = { cam, networkInterface: interfaces[0] };
    }
    for (const serial of serials) {
        if (!bySerial[serial])
            fail('device ' + serial + ' not read');
    }
    const first = bySerial[serials[0]];
    const result = await call(first.cam, 'setNetworkInterfaces', interfaceOf(first.cam, first.networkInterface));
    console.log('readdressed ' + serials[0] + ' to ' + newAddress + ' reboot ' + result.rebootNeeded);
    if (managedElsewhere) {
        const other = bySerial[managedElsewhere];
        const refused = await call(other.cam, 'setNetworkInterfaces', interfaceOf(other.cam, other.networkInterface))
            .then(() => false, () => true);
        if (!refused)
            fail('the device managed over VXDP took settings over ONVIF');
        console.log('refused ' + managedElsewhere + ': managed over VXDP');
    }
    // A wrong password changes nothing.
    const intruder = new onvif.Cam({ hostname: newAddress, port: first.cam.port, path: first.cam.path,
                                     username: 'admin', password: 'not-' + password, autoconnect: false });
    await call(intruder, 'getSystemDateAndTime');
    const refused = await call(intruder, 'setNetworkInterfaces', interfaceOf(intruder, first.networkInterface))
        .then(() => false, () => true);
    if (!refused)
        fail('a wrong password readdressed the device');
    console.log('wrong password refused');
}

main().then(() => process.exit(0), (err) => fail(err.message || String(err)));
