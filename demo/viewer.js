#!/usr/bin/env gjs
// Gridweller viewer in JavaScript (GJS): a window with the Gridwell control, a sheet box filled
// from its sheet-names and a status bar fed by its signals. From a build tree:
//
//   GI_TYPELIB_PATH=build/control/gobject LD_LIBRARY_PATH=build/control/gtk \
//       gjs demo/viewer.js [WORKBOOK] [--list-sheets]
//
// With --list-sheets it prints the sheet names once the page has loaded and quits.
imports.gi.versions.Gtk = '3.0';
imports.gi.versions.Gridweller = '1.0';
const {GLib, Gtk, Gridweller} = imports.gi;

Gtk.init(null);

const args = ARGV.filter(a => a !== '--list-sheets');
const listSheets = args.length !== ARGV.length;
const here = GLib.path_get_dirname(imports.system.programPath ?? imports.system.programInvocationName);
const workbook = args[0] ?? GLib.build_filenamev([here, '..', 'samples', 'sample.xlsx']);
let status = 0;

const window = new Gtk.Window({title: 'Gridweller viewer (GJS)', default_width: 900, default_height: 640});
const viewer = new Gridweller.Gridwell();
const sheets = new Gtk.ComboBoxText();
sheets.get_accessible().set_name('Worksheet');
const bar = new Gtk.Statusbar();
const say = text => {
    bar.pop(0);
    bar.push(0, text);
};

let filling = false;
viewer.connect('notify::sheet-names', () => {
    filling = true;
    sheets.remove_all();
    for (const name of viewer.sheet_names)
        sheets.append_text(name);
    sheets.set_active(0);
    filling = false;
});
sheets.connect('changed', () => {
    if (!filling && sheets.get_active() >= 0)
        viewer.open_xl(workbook, new Gridweller.OpenOptions({sheet_number: sheets.get_active() + 1}));
});

viewer.connect('open-start', (v, book) => say(`Opening ${GLib.path_get_basename(book)}...`));
viewer.connect('open-complete', (v, book) => {
    say(`${GLib.path_get_basename(book)}: ${v.sheet_total} sheets`);
    if (listSheets) {
        print(v.sheet_names.join('\n'));
        window.destroy();
    }
});
viewer.connect('open-error', (v, book) => {
    say(`Unable to show ${GLib.path_get_basename(book)}`);
    status = 1;
    if (listSheets)
        window.destroy();
});
viewer.connect('download-progress', (v, cur, max) => say(`Downloaded ${cur} of ${max} bytes`));

const box = new Gtk.Box({orientation: Gtk.Orientation.VERTICAL});
box.pack_start(sheets, false, false, 0);
box.pack_start(viewer, true, true, 0);
box.pack_start(bar, false, false, 0);
window.add(box);
window.connect('destroy', () => {
    if (Gtk.main_level() > 0)
        Gtk.main_quit();
});
window.show_all();

if (!viewer.open_xl(workbook, new Gridweller.OpenOptions({show_comments: true}))) {
    printerr(`Unable to open ${workbook}`);
    say(`Unable to open ${workbook}`);
    status = 1;
    if (listSheets)
        window.destroy();
}
if (!listSheets || status === 0)
    Gtk.main();
imports.system.exit(status);
