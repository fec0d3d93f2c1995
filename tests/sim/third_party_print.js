// Prints a receipt to the simulator with the unmodified node-thermal-printer
// package and reads the paper status the way that library does.
// Usage: node third_party_print.js PORT ; prints "connected=.. status=HEX".
const { ThermalPrinter, PrinterTypes } = require('node-thermal-printer');

async function main() {
  const printer = new ThermalPrinter({
    type: PrinterTypes.EPSON,
    interface: `tcp://127.0.0.1:${process.argv[2]}`,
    options: { timeout: 3000 },
  });
  const connected = await printer.isPrinterConnected();
  printer.alignCenter();
  printer.bold(true);
  printer.println('THIRD PARTY RECEIPT');
  printer.bold(false);
  printer.tableCustom([{ text: 'Coffee', align: 'LEFT' }, { text: '2.50', align: 'RIGHT' }]);
  printer.printQR('https://example.invalid/receipt/42');
  printer.code128('0123456789');
  printer.cut();
  await printer.execute();
  printer.clear();
  await printer.getStatus();
  const status = await printer.execute({ waitForResponse: true });
  console.log(`connected=${connected} status=${Buffer.from(status).toString('hex')}`);
}

main().catch((e) => {
  console.log(`error=${e.message}`);
  process.exit(1);
});
