// Converts the first worksheet of a workbook to one HTML page with SheetJS, the peer of
// `gridwell convert --plain`. Usage: node sheetjs_html.js <in.xlsx> <out.html>
const fs = require('fs');
const path = require('path');
const XLSX = require(path.join(__dirname, '..', 'node_modules', 'xlsx'));
const wb = XLSX.readFile(process.argv[2]);
const ws = wb.Sheets[wb.SheetNames[0]];
fs.writeFileSync(process.argv[3], XLSX.utils.sheet_to_html(ws));
