#include "demo/prompts.h"

namespace demo {

MsgBoxResult GtkPrompts::MsgBox(const std::string& prompt, int style, const std::string& title) {
  const bool yesNo = (style & 0xF) == kYesNo;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (style & 0x70) {
    case kQuestion:
      type = GTK_MESSAGE_QUESTION;
      break;
    case kExclamation:
      type = GTK_MESSAGE_WARNING;
      break;
    default:
      type = GTK_MESSAGE_OTHER;
      break;
  }
  GtkWidget* dialog =
      gtk_message_dialog_new(parent_, GTK_DIALOG_MODAL, type,
                             yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", prompt.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (!yesNo) return MsgBoxResult::Ok;
  // A Yes/No box offers no way out but its two buttons; closing it counts as No.
  return response == GTK_RESPONSE_YES ? MsgBoxResult::Yes : MsgBoxResult::No;
}

std::string GtkPrompts::InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultResponse) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      title.c_str(), parent_, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL), "_OK", GTK_RESPONSE_OK,
      "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(area), 12);
  gtk_box_set_spacing(GTK_BOX(area), 8);
  GtkWidget* label = gtk_label_new(prompt.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), defaultResponse.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 48);
  gtk_box_pack_start(GTK_BOX(area), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
  gtk_widget_show(label);
  gtk_widget_show(entry);
  gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
  std::string answer;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
    answer = gtk_entry_get_text(GTK_ENTRY(entry));
  }
  gtk_widget_destroy(dialog);
  return answer;
}

}  // namespace demo
