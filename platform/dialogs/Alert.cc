#include "platform/dialogs/Alert.h"

QXAlertButton::QXAlertButton(QXAlert* alert, GtkButton* button, long code)
    : mAlert(alert), mButton(button), mCode(code) {
  g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), this);
}

void QXAlertButton::OnClicked(GtkButton*, gpointer self) {
  auto* button = static_cast<QXAlertButton*>(self);
  if (button->mAction)
    button->mAction();
  else
    button->mAlert->endModal(button->mCode);
}

QXAlert::QXAlert()
    : QXModalWindow(gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                           GTK_BUTTONS_NONE, nullptr)) {
  // Alerts have no title of their own; the product name tells the user who asks.
  setTitle("Quorvex Web Client");
  gtk_window_set_type_hint(window(), GDK_WINDOW_TYPE_HINT_DIALOG);
  // Like a modal panel, an alert floats above ordinary windows: the host has
  // none of its own for it to stay in front of.
  setLevel(kQXShieldingWindowLevel);
}

QXAlertButton& QXAlert::addButtonWithTitle(const std::string& title) {
  const long code = kQXAlertFirstButtonReturn + static_cast<long>(mButtons.size());
  GtkWidget* button = gtk_button_new_with_label(title.c_str());
  gtk_dialog_add_action_widget(GTK_DIALOG(window()), button, static_cast<gint>(code));
  gtk_box_reorder_child(GTK_BOX(gtk_widget_get_parent(button)), button, 0);
  gtk_widget_show(button);
  mButtons.push_back(
      std::unique_ptr<QXAlertButton>(new QXAlertButton(this, GTK_BUTTON(button), code)));
  if (mButtons.size() == 1) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "suggested-action");
    gtk_window_set_default(window(), button);
    gtk_widget_grab_focus(button);
  }
  return *mButtons.back();
}

void QXAlert::setMessageText(const std::string& text) {
  g_object_set(window(), "text", text.c_str(), "use-markup", FALSE, nullptr);
}

void QXAlert::setInformativeText(const std::string& text) {
  g_object_set(window(), "secondary-text", text.empty() ? nullptr : text.c_str(),
               "secondary-use-markup", FALSE, nullptr);
}

void QXAlert::setAlertStyle(QXAlertStyle style) {
  static const GtkMessageType kTypes[] = {GTK_MESSAGE_WARNING, GTK_MESSAGE_INFO, GTK_MESSAGE_ERROR};
  g_object_set(window(), "message-type", kTypes[style], nullptr);
}
