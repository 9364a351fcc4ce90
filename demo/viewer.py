#!/usr/bin/env python3
"""Gridweller viewer: a Python (PyGObject) host of the Gridwell control.

A window with the control, a file chooser button, an address entry, picture buttons for the
control's document commands, check boxes for compact styles and the sheet look, a sheet box filled from the
control's sheet-names, and a status bar fed by its signals. From a build tree:

    GI_TYPELIB_PATH=build/control/gobject LD_LIBRARY_PATH=build/control/gtk \
        python3 demo/viewer.py [WORKBOOK]
"""
import os
import sys
import urllib.parse

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gridweller", "1.0")
from gi.repository import Gridweller, Gtk  # noqa: E402

TITLE = "Gridweller viewer"
FAST_PAGES_FROM = 20000

# Values of the control's open-error-code that a password may mend.
PASSWORD_NEEDED, WRONG_PASSWORD = 1, 2

# Picture buttons: icon, accessible name (also the tool tip), handler method.
PICTURES = [
    ("go-home", "Go to home workbook", "on_home"),
    ("document-save-as", "Save a copy of workbook", "on_save_copy"),
    ("document-print-preview", "Print preview HTML document", "on_preview"),
    ("document-page-setup", "Setup HTML page for printing", "on_page_setup"),
    ("document-print", "Print HTML document", "on_print"),
    ("edit-find", "Find text in HTML document", "on_find"),
]


class ViewerWindow(Gtk.Window):
    def __init__(self):
        super().__init__(title=TITLE)
        self.set_default_size(960, 680)
        self.workbook = None  # the workbook that a pick in the sheet box reopens
        self.password = ""  # the password that opened it
        self.remote_name = None  # the address's own file name of a downloaded workbook
        self.filling_sheets = False

        self.viewer = Gridweller.Gridwell()
        # Sheets of more than 20,000 cells come as fast pages: shown in about a second
        # instead of minutes, in the sheet's own column widths.
        self.viewer.props.fast_pages_from = FAST_PAGES_FROM
        self.viewer.connect("open-start", self.on_open_start)
        self.viewer.connect("open-complete", self.on_open_complete)
        self.viewer.connect("open-error", self.on_open_error)
        self.viewer.connect("download-started", self.on_download_started)
        self.viewer.connect("download-progress", self.on_download_progress)
        self.viewer.connect("download-error", self.on_download_error)
        self.viewer.connect("download-complete", self.on_download_complete)
        self.viewer.connect("notify::sheet-names", self.on_sheet_names)

        self.chooser = Gtk.FileChooserButton(title="Open a workbook")
        workbooks = Gtk.FileFilter()
        workbooks.set_name("Workbooks (*.xls, *.xlsx)")
        workbooks.add_pattern("*.xls")
        workbooks.add_pattern("*.xlsx")
        self.chooser.add_filter(workbooks)
        self.chooser.get_accessible().set_name("Open a workbook")
        self.chooser.connect("file-set", lambda c: self.open_workbook(c.get_filename()))

        self.address = Gtk.Entry(placeholder_text="or an http:// or ftp:// address")
        self.address.get_accessible().set_name("Workbook address")
        self.address.connect("activate", lambda e: self.open_workbook(e.get_text().strip()))

        self.pictures = []
        tools = Gtk.Box(spacing=2)
        for icon, name, handler in PICTURES:
            button = Gtk.Button(image=Gtk.Image.new_from_icon_name(icon, Gtk.IconSize.BUTTON))
            button.set_tooltip_text(name)
            button.get_accessible().set_name(name)
            button.connect("clicked", getattr(self, handler))
            tools.pack_start(button, False, False, 0)
            self.pictures.append(button)

        # Styled pages with one class per look: big sheets show much sooner, looking the same.
        self.compact = Gtk.CheckButton(label="Compact styles")
        self.compact.set_tooltip_text("One style rule per distinct look instead of one per cell")
        self.compact.connect("toggled", self.on_compact_toggled)

        # The page drawn as the sheet: gridlines, merged cells, looks of empty cells.
        self.sheet_look = Gtk.CheckButton(label="Sheet look")
        self.sheet_look.set_tooltip_text(
            "Gridlines, merged cells, fills and borders of empty cells, conditional formats")
        self.sheet_look.connect("toggled", self.on_sheet_look_toggled)

        self.sheets = Gtk.ComboBoxText()
        self.sheets.get_accessible().set_name("Worksheet")
        self.sheets.connect("changed", self.on_sheet_picked)

        top = Gtk.Box(spacing=6, margin=6)
        top.pack_start(self.chooser, False, False, 0)
        top.pack_start(self.address, True, True, 0)
        top.pack_start(tools, False, False, 0)
        top.pack_start(self.compact, False, False, 0)
        top.pack_start(self.sheet_look, False, False, 0)
        top.pack_start(self.sheets, False, False, 0)

        self.message = Gtk.Label(xalign=0)
        self.info = Gtk.InfoBar(message_type=Gtk.MessageType.ERROR, show_close_button=True)
        self.info.get_content_area().add(self.message)
        self.info.connect("response", lambda bar, _: bar.hide())
        self.info.set_no_show_all(True)
        self.message.show()

        self.status = Gtk.Statusbar()
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
        box.pack_start(top, False, False, 0)
        box.pack_start(self.info, False, False, 0)
        box.pack_start(self.viewer, True, True, 0)
        box.pack_start(self.status, False, False, 0)
        self.add(box)

    # ---- Opening ----

    def open_workbook(self, path, sheet=0, password=""):
        """Opens `path` on `sheet`; asks for a password when the workbook needs one."""
        if not path:
            return False
        self.info.hide()
        remote = path.lower().startswith(("http", "ftp:"))
        if remote:
            name = os.path.basename(urllib.parse.urlsplit(path).path)
            self.remote_name = urllib.parse.unquote(name) or None
        options = Gridweller.OpenOptions(sheet_number=sheet, show_comments=True,
                                         password=password)
        # True also when the workbook could not be converted: open-error-code tells.
        if self.viewer.open_xl(path, options) and not self.viewer.props.open_error_code:
            self.workbook = self.viewer.props.temp_workbook if remote else path
            self.password = password
            if not remote:
                self.chooser.set_filename(os.path.abspath(path))
            self.set_title(f"{TITLE} - {path}")
            return True
        code = self.viewer.props.open_error_code
        self.show_error(self.viewer.props.open_error_text or f"Unable to open {path}.")
        if code in (PASSWORD_NEEDED, WRONG_PASSWORD):
            given = self.ask_password(self.display_name(path), code == WRONG_PASSWORD)
            if given:
                return self.open_workbook(path, sheet, given)
        return False

    def ask_password(self, name, again):
        """The password the user types for the workbook `name`, or None."""
        dialog = Gtk.Dialog(title="Password", transient_for=self, modal=True)
        dialog.add_buttons("_Cancel", Gtk.ResponseType.CANCEL, "_Open", Gtk.ResponseType.OK)
        dialog.set_default_response(Gtk.ResponseType.OK)
        prompt = "That password does not open" if again else "A password is needed to open"
        label = Gtk.Label(label=f"{prompt} {name}.", xalign=0)
        entry = Gtk.Entry(visibility=False, activates_default=True)
        entry.get_accessible().set_name("Password")
        box = dialog.get_content_area()
        box.set_spacing(6)
        box.set_border_width(12)
        box.add(label)
        box.add(entry)
        dialog.show_all()
        answer = entry.get_text() if dialog.run() == Gtk.ResponseType.OK else None
        dialog.destroy()
        return answer or None

    def display_name(self, workbook):
        """A workbook's name for the user: a downloaded copy goes by its address's name."""
        if self.remote_name and workbook == self.viewer.props.temp_workbook:
            return self.remote_name
        if "://" in workbook:
            return os.path.basename(urllib.parse.urlsplit(workbook).path) or workbook
        return os.path.basename(workbook)

    def show_error(self, text):
        self.message.set_text(text)
        self.info.show()
        self.say(text)

    def say(self, text):
        self.status.pop(0)
        self.status.push(0, text)

    def on_sheet_names(self, viewer, _pspec):
        self.filling_sheets = True
        self.sheets.remove_all()
        for name in viewer.props.sheet_names:
            self.sheets.append_text(name)
        self.sheets.set_active(0 if viewer.props.sheet_names else -1)
        self.filling_sheets = False

    def on_compact_toggled(self, button):
        self.viewer.props.compact_styles = button.get_active()
        self.rewrite_page()

    def on_sheet_look_toggled(self, button):
        self.viewer.props.sheet_look = button.get_active()
        self.rewrite_page()

    def rewrite_page(self):
        # The page shown was written the other way: write it again.
        if self.workbook and self.sheets.get_active() >= 0:
            self.viewer.props.regenerate_html = True
            self.open_workbook(self.workbook, self.sheets.get_active() + 1, self.password)
            self.viewer.props.regenerate_html = False

    def on_sheet_picked(self, combo):
        index = combo.get_active()
        if self.filling_sheets or index < 0 or not self.workbook:
            return
        self.open_workbook(self.workbook, index + 1, self.password)

    # ---- Signals of the control ----

    def on_open_start(self, viewer, workbook, page):
        self.say(f"Opening {self.display_name(workbook)}...")

    def on_open_complete(self, viewer, workbook, page):
        total = viewer.props.sheet_total
        self.say(f"{self.display_name(workbook)}: {total} sheet{'s' if total != 1 else ''}")

    def on_open_error(self, viewer, workbook, page):
        self.show_error(viewer.props.open_error_text or
                        f"Unable to show {self.display_name(workbook)}: no page was written.")

    def on_download_started(self, viewer, save_file):
        self.say(f"Downloading to {save_file}...")

    def on_download_progress(self, viewer, cur_bytes, max_bytes, save_file):
        self.say(f"Downloaded {cur_bytes} of {max_bytes} bytes")

    def on_download_error(self, viewer, save_file):
        self.show_error(f"The download failed: {viewer.props.download_error_text}.")

    def on_download_complete(self, viewer, max_bytes, save_file):
        if max_bytes:
            self.say(f"Downloaded {max_bytes} bytes")

    # ---- Picture buttons ----

    def on_home(self, _button):
        self.viewer.go_home(False)

    def on_save_copy(self, _button):
        dialog = Gtk.FileChooserNative(
            title="Save a copy of the workbook", transient_for=self,
            action=Gtk.FileChooserAction.SAVE)
        dialog.set_do_overwrite_confirmation(True)
        if self.viewer.props.excel_file:
            dialog.set_current_name(os.path.basename(self.viewer.props.excel_file))
        if dialog.run() == Gtk.ResponseType.ACCEPT:
            target = dialog.get_filename()
            if self.viewer.save_copy(target, False):
                self.say(f"Workbook copied to {target}")
            else:
                self.show_error(f"Unable to copy the workbook to {target}.")

    def on_preview(self, _button):
        self.viewer.print_preview_document()

    def on_page_setup(self, _button):
        self.viewer.setup_document()

    def on_print(self, _button):
        self.viewer.print_document(True)

    def on_find(self, _button):
        self.viewer.find_in_document()


def main(argv):
    window = ViewerWindow()
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    here = os.path.dirname(os.path.abspath(__file__))
    sample = os.path.join(here, "..", "samples", "sample.xlsx")
    start = argv[1] if len(argv) > 1 else sample
    if os.path.exists(start) or "://" in start:
        window.open_workbook(start)
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
