#include "ui/dialogs/modal_window.h"

#include "ui/dialogs/dialogs.h"

ModalWindow::ModalWindow(GtkBuilder* builder, const char* window_name, ModalWindow** open_slot)
    : builder_(builder),
      window_(GTK_WIDGET(gtk_builder_get_object(builder, window_name))),
      open_slot_(open_slot) {
  gtk_widget_set_name(window_, window_name);
  keep_above_main_window(window_);
  g_signal_connect(window_, "destroy", G_CALLBACK(destroyed), this);
  if (open_slot_ != nullptr) *open_slot_ = this;
}

ModalWindow::~ModalWindow() {
  if (open_slot_ != nullptr && *open_slot_ == this) *open_slot_ = nullptr;
  g_object_unref(builder_);
}

void ModalWindow::show() {
  if (!holding_) {
    holding_ = true;
    hold_main_window();
  }
  gtk_widget_show(window_);
  gtk_grab_add(window_);  // after show: GTK asks the realized window its type
}

void ModalWindow::close() {
  if (!closed_) gtk_widget_destroy(window_);  // "destroy" does the rest
}

void ModalWindow::let_main_window_go() {
  if (holding_) {
    holding_ = false;
    release_main_window();
  }
}

void ModalWindow::destroyed(GtkWidget* window, gpointer self) {
  auto* owner = static_cast<ModalWindow*>(self);
  gtk_grab_remove(window);
  owner->let_main_window_go();
  owner->closed_ = true;
  owner->on_close();
  // The slot is cleared at once: a new window of the kind may be opened
  // even while an action of this one ends.
  if (owner->open_slot_ != nullptr && *owner->open_slot_ == owner) *owner->open_slot_ = nullptr;
  owner->free_when_done();
}

void ModalWindow::free_when_done() {
  if (closed_ && actions_ == 0) delete this;
}

ModalWindow::Action::~Action() {
  --owner_.actions_;
  owner_.free_when_done();
}
