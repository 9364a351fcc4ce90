// Reads a benchmark workbook with SheetJS and visits every cell's value and format, the
// counterpart of xlsx_read_bench and xls_read_bench. Prints the cell count and a checksum,
// and the wall and processor time of the fastest of REPEATS reads (default 1).
// Usage: node sheetjs_read.js <file> [REPEATS] [--styles]
//   --styles  reads the cell styles too (as the .xls comparison does)
const path = require('path');
const XLSX = require(path.join(__dirname, 'node_modules', 'xlsx'));
const args = process.argv.slice(2);
const styles = args.includes('--styles');
const [file, repeatsText] = args.filter((a) => a !== '--styles');
const repeats = Number(repeatsText || 1);
let best = Infinity;
let bestCpu = Infinity;
let cells = 0;
let sum = 0;
for (let rep = 0; rep < repeats; rep++) {
  const t0 = process.hrtime.bigint();
  const cpu0 = process.cpuUsage();
  const wb = styles ? XLSX.readFile(file, {cellDates: false, cellStyles: true}) : XLSX.readFile(file);
  cells = 0;
  sum = 0;
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
  if (secs < best) {
    best = secs;
    bestCpu = (cpu.user + cpu.system) / 1e6;
  }
}
console.log(`sheetjs cells ${cells} checksum ${sum.toFixed(3)}`);
console.log(`sheetjs_seconds ${best.toFixed(3)}`);
console.log(`sheetjs_cpu_seconds ${bestCpu.toFixed(3)}`);
