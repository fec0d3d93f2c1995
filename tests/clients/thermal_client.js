// A point-of-sale program built on the unmodified node-thermal-printer
// package. It prints to PORT through the package's local-port interface (the
// way it drives a COM port) and asks for the paper status through its network
// interface, the only one of the package that reads answers (the test serves
// the same application end on TCP as a serial device server would).
// Usage: node thermal_client.js PORT HOST:TCPPORT ; prints "connected=BOOL",
// "printed=TEXT" and "status=HEX" (or "status=none").
const { ThermalPrinter, PrinterTypes } = require('node-thermal-printer');

async function main() {
  const [, , port, server] = process.argv;
  const printer = new ThermalPrinter({ type: PrinterTypes.EPSON, interface: port });
  console.log(`connected=${await printer.isPrinterConnected()}`);
  printer.alignCenter();
  printer.bold(true);
  printer.println('THERMAL RECEIPT');
  printer.bold(false);
  printer.tableCustom([
    { text: 'Coffee', align: 'LEFT' },
    { text: '2.50', align: 'RIGHT' },
  ]);
  printer.printQR('https://example.invalid/receipt/7');
  printer.code128('0123456789');
  printer.cut();
  console.log(`printed=${await printer.execute()}`);

  const network = new ThermalPrinter({
    type: PrinterTypes.EPSON,
    interface: `tcp://${server}`,
    options: { timeout: 4000 },
  });
  await network.getStatus();
  try {
    const status = await network.execute({ waitForResponse: true });
    console.log(`status=${Buffer.from(status).toString('hex')}`);
  } catch (e) {
    console.log(`status=none (${e.message || e})`);
  }
}

main().catch((e) => {
  console.log(`error=${e.message || e}`);
  process.exit(1);
});
