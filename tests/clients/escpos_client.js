// A point-of-sale program built on the unmodified `escpos` package and its
// serial-port adapter: opens PORT like a COM port, prints a receipt, then asks
// the printer's statuses (DLE EOT 1, 4, 2, 3) and waits for the answer.
// Usage: node escpos_client.js PORT ; prints "printed" and
// "statuses=HEX HEX HEX HEX" (or "statuses=none" when no answer came).
const escpos = require('escpos');
const SerialAdapter = require('escpos-serialport');

const [, , port, label = 'ESCPOS'] = process.argv;
const device = new SerialAdapter(port, { baudRate: 9600, autoOpen: false });
const printer = new escpos.Printer(device, { encoding: 'ascii' });

function finish(line, code) {
  console.log(line);
  device.close(() => process.exit(code));
  setTimeout(() => process.exit(code), 2000);
}

device.open((error) => {
  if (error) {
    console.log(`error=${error.message}`);
    process.exit(1);
  }
  printer
    .font('a')
    .align('ct')
    .style('b')
    .text(`${label} RECEIPT`)
    .style('normal')
    .align('lt')
    .text('Espresso            2.20')
    .barcode('123456789012', 'EAN13')
    .cut()
    .flush(() => {
      console.log('printed');
      const timer = setTimeout(() => finish('statuses=none', 0), 5000);
      printer.getStatuses((statuses) => {
        clearTimeout(timer);
        const bytes = statuses.map((s) => (s.byte & 0xff).toString(16).padStart(2, '0'));
        finish(`statuses=${bytes.join(' ')}`, 0);
      });
    });
});
