// Reads the .xls benchmark workbook with SheetJS and visits every cell's value and
// format, the counterpart of xls_read_bench. Usage: node sheetjs_read.js <file.xls>
const path = require('path');
const XLSX = require(path.join(__dirname, '..', 'node_modules', 'xlsx'));
const repeats = Number(process.argv[3] || 3);
let best = Infinity;
let cells = 0;
let sum = 0;
for (let rep = 0; rep < repeats; rep++) {
  const t0 = process.hrtime.bigint();
  const wb = XLSX.readFile(process.argv[2], {cellDates: false, cellStyles: true});
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
  if (secs < best) best = secs;
}
console.log(`sheetjs cells ${cells} checksum ${sum.toFixed(3)}`);
console.log(`sheetjs_seconds ${best.toFixed(3)}`);
