#include "platform/dialogs/ProgressWindow.h"

#include <limits>

#include "platform/app/Application.h"
#include "platform/dialogs/ModalWindow.h"

namespace {

constexpr gint64 kShowAfterUs = G_USEC_PER_SEC;
constexpr gint64 kRefreshUs = G_USEC_PER_SEC / 10;

}  // namespace

class QXProgressWindow::Panel : public QXModalWindow {
 public:
  Panel(QXProgressWindow* owner, const std::string& message)
      : QXModalWindow(gtk_dialog_new()), mOwner(owner) {
    setTitle(message);
    GtkWindow* dialog = window();
    gtk_window_set_type_hint(dialog, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_resizable(dialog, FALSE);
    gtk_window_set_default_size(dialog, 300, -1);
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 12);
    gtk_box_set_spacing(GTK_BOX(content), 6);
    GtkWidget* heading = gtk_label_new(message.c_str());
    gtk_widget_set_halign(heading, GTK_ALIGN_START);
    mCount = GTK_LABEL(gtk_label_new(""));
    gtk_widget_set_halign(GTK_WIDGET(mCount), GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(content), heading, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), GTK_WIDGET(mCount), FALSE, FALSE, 0);
    GtkWidget* cancel = gtk_dialog_add_button(GTK_DIALOG(dialog), "Cancel", GTK_RESPONSE_CANCEL);
    gtk_widget_grab_focus(cancel);
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), this);
    gtk_widget_show_all(content);
    // Like the other dialogs, above the browser: the host has no window.
    setLevel(kQXShieldingWindowLevel);
  }

  void SetCount(const std::string& text) { gtk_label_set_text(mCount, text.c_str()); }

 protected:
  void windowShouldClose() override { mOwner->mCancelled = true; }

 private:
  static void OnResponse(GtkDialog*, gint, gpointer self) {
    static_cast<Panel*>(self)->mOwner->mCancelled = true;
  }

  QXProgressWindow* mOwner;
  GtkLabel* mCount;
};

QXProgressWindow::QXProgressWindow(std::string message, std::string unit)
    : mMessage(std::move(message)),
      mUnit(std::move(unit)),
      mNextRefresh(g_get_monotonic_time() + kShowAfterUs) {}

QXProgressWindow::~QXProgressWindow() = default;

bool QXProgressWindow::update(size_t done) {
  if (mCancelled)
    return false;
  const gint64 now = g_get_monotonic_time();
  if (now < mNextRefresh)
    return true;
  if (NSApp == nullptr) {
    // No display: nothing to show, nothing to ask again.
    mNextRefresh = std::numeric_limits<gint64>::max();
    return true;
  }
  mNextRefresh = now + kRefreshUs;
  if (!mPanel) {
    mPanel = std::make_unique<Panel>(this, mMessage);
    mPanel->orderFront();
  }
  mPanel->SetCount(std::to_string(done) + " " + mUnit);
  while (!mCancelled && g_main_context_pending(nullptr))
    g_main_context_iteration(nullptr, FALSE);
  return !mCancelled;
}
