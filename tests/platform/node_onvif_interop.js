// The npm "node-onvif" client against vexa-devsim's ONVIF devices: discovers
// them and initialises each (clock, capabilities, device information, media
// profiles and stream addresses). Prints one line per device; exits 1 on the
// first disagreement.
'use strict';
const onvif = require('node-onvif');

const [password, expected] = process.argv.slice(2);
const serials = expected.split(',');

function fail(message) {
    console.log('FAIL ' + message);
    process.exit(1);
}

async function main() {
    const xaddrs = new Set();
    for (let attempt = 0; attempt < 3 && xaddrs.size < serials.length; ++attempt) {
        for (const device of await onvif.startProbe())
            xaddrs.add(device.xaddrs[0]);
    }
    const read = new Set();
    for (const xaddr of xaddrs) {
        const device = new onvif.OnvifDevice({ xaddr, user: 'admin', pass: password });
        const info = await device.init();
        const profile = device.getCurrentProfile();
        console.log('device ' + info.SerialNumber + ' ' + info.Model + ' stream ' + (profile ? profile.stream.rtsp : '-'));
        read.add(info.SerialNumber);
    }
    for (const serial of serials) {
        if (!read.has(serial))
            fail('device ' + serial + ' not initialised');
    }
}

main().then(() => process.exit(0), (err) => fail(err.message || String(err)));
