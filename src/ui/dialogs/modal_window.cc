#include "ui/dialogs/modal_window.h"

#include "core/glib_ptr.h"
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

void ModalWindow::open_or_present(ModalWindow* open, const std::function<void()>& make) {
  if (open != nullptr) {
    gtk_window_present(GTK_WINDOW(open->window()));
    return;
  }
  make();  // the object lives as long as its window
}

namespace {

// What a chooser keeps while it is open: the window it was opened over (a
// weak pointer: null once that window has gone) and what to do on Accept.
struct OpenChooser {
  GtkWidget* parent;
  std::function<void(const std::string&)> chosen;
};

}  // namespace

void ModalWindow::choose_file(FileChoice choice) {
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      choice.title, GTK_WINDOW(window_), choice.action, "_Cancel", GTK_RESPONSE_CANCEL,
      choice.accept_label, GTK_RESPONSE_ACCEPT, nullptr);
  gtk_widget_set_name(chooser, choice.name);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(chooser), TRUE);
  if (choice.prepare) choice.prepare(GTK_FILE_CHOOSER(chooser));
  auto* open = new OpenChooser{window_, std::move(choice.chosen)};
  g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&open->parent));
  gtk_widget_set_sensitive(window_, FALSE);
  g_signal_connect(chooser, "response",
                   G_CALLBACK(+[](GtkDialog* dialog, gint response, gpointer data) {
                     auto* open = static_cast<OpenChooser*>(data);
                     if (response == GTK_RESPONSE_ACCEPT && open->parent != nullptr &&
                         !gtk_widget_in_destruction(open->parent)) {
                       GCharPtr file(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog)));
                       if (file && open->chosen) open->chosen(file.get());
                     }
                     gtk_widget_destroy(GTK_WIDGET(dialog));
                   }),
                   open);
  g_signal_connect(chooser, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     auto* open = static_cast<OpenChooser*>(data);
                     if (open->parent != nullptr) {
                       if (!gtk_widget_in_destruction(open->parent)) {
                         gtk_widget_set_sensitive(open->parent, TRUE);
                       }
                       g_object_remove_weak_pointer(G_OBJECT(open->parent),
                                                    reinterpret_cast<gpointer*>(&open->parent));
                     }
                     delete open;
                   }),
                   open);
  gtk_widget_show(chooser);
  gtk_window_present(GTK_WINDOW(chooser));
}
