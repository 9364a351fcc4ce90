// Reads the benchmark workbook with SheetJS and visits every cell's value and format, the
// counterpart of xlsx_read_bench. Usage: node sheetjs_read.js <file.xlsx>
const path = require('path');
const XLSX = require(path.join(__dirname, '..', 'node_modules', 'xlsx'));
const t0 = process.hrtime.bigint();
const cpu0 = process.cpuUsage();
const wb = XLSX.readFile(process.argv[2]);
let cells = 0;
let sum = 0;
for (const name of wb.SheetNames) {
  const ws = wb.Sheets[name];
  for (const key of Object.keys(ws)) {
    if (key[0] === '!') continue;
    const c = ws[key];
    cells++;
    if (typeof c.v === 'number') sum += c.v;
    if (c.z) sum += 1;
  }
}
const secs = Number(process.hrtime.bigint() - t0) / 1e9;
const cpu = process.cpuUsage(cpu0);
console.log(`sheetjs cells ${cells} checksum ${sum.toFixed(3)}`);
console.log(`sheetjs_seconds ${secs.toFixed(3)}`);
console.log(`sheetjs_cpu_seconds ${((cpu.user + cpu.system) / 1e6).toFixed(3)}`);
