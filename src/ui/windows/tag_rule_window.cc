#include "ui/windows/tag_rule_window.h"

#include <string>
#include <vector>

#include "core/glib_ptr.h"
#include "list_text/list_rows.h"
#include "ui/dialogs/help_viewer.h"
#include "ui/dialogs/modal_window.h"
#include "ui/list/tag_rule_commands.h"
#include "ui/windows/resources.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/tag_rule_window.ui";

// The groups the preview shows one by one: enough to see what the rule
// does, few enough to show at each change of a choice on any list.
constexpr std::size_t PREVIEW_GROUPS = 200;

// The radio buttons of the criteria, in the order they are shown.
constexpr std::pair<const char*, KeepBy> KEEP_RADIOS[] = {
    {"RadioKeepOriginal", KeepBy::ORIGINAL},    {"RadioKeepNewest", KeepBy::NEWEST},
    {"RadioKeepOldest", KeepBy::OLDEST},        {"RadioKeepShortest", KeepBy::SHORTEST_PATH},
    {"RadioKeepLongest", KeepBy::LONGEST_PATH}, {"RadioKeepFirst", KeepBy::FIRST}};

class TagRuleWindow : public ModalWindow {
 public:
  TagRuleWindow(ListContext ctx, std::string rules_file)
      : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinTagRule", &g_open),
        ctx_(std::move(ctx)),
        rules_file_(std::move(rules_file)),
        home_(g_get_home_dir()) {
    all_groups_ = rule_groups(ctx_.list, false);
    selected_group_ = rule_groups(ctx_.list, true);
    const TagRuleChoices remembered = load_tag_rule_choices(rules_file_);
    unknown_keep_ = remembered.unknown_keep;
    fill(remembered);

    auto clicked = [this](const char* name, void (*handler)(TagRuleWindow*)) {
      g_signal_connect_swapped(object(name), "clicked", G_CALLBACK(handler), this);
    };
    clicked("ButtonTag", [](TagRuleWindow* w) { w->tag(); });
    clicked("ButtonCancel", [](TagRuleWindow* w) { w->close(); });
    clicked("ButtonHelp", [](TagRuleWindow*) { show_help("TagByRule"); });
    clicked("ButtonAddPreferred",
            [](TagRuleWindow* w) { w->choose_folder("ThePreferredFolders"); });
    clicked("ButtonAddProtected",
            [](TagRuleWindow* w) { w->choose_folder("TheProtectedFolders"); });
    // Every choice updates the preview at once.
    for (const char* view : {"ThePreferredFolders", "TheProtectedFolders"}) {
      g_signal_connect_swapped(buffer(view), "changed",
                               G_CALLBACK(+[](TagRuleWindow* w) { w->update_preview(); }), this);
    }
    for (const char* toggle :
         {"RadioKeepOriginal", "RadioKeepNewest", "RadioKeepOldest", "RadioKeepShortest",
          "RadioKeepLongest", "RadioKeepFirst", "CheckLeaveHardLinks", "CheckUntagFirst",
          "RadioScopeAll", "RadioScopeSelected"}) {
      g_signal_connect_swapped(object(toggle), "toggled",
                               G_CALLBACK(+[](TagRuleWindow* w) { w->update_preview(); }), this);
    }
    g_signal_connect(window(), "key-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                       if (event->keyval != GDK_KEY_Escape) return FALSE;
                       static_cast<TagRuleWindow*>(self)->close();
                       return TRUE;
                     }),
                     this);
    update_preview();
    show();
    GtkWidget* tag_button = GTK_WIDGET(object("ButtonTag"));
    gtk_widget_set_can_default(tag_button, TRUE);
    gtk_widget_grab_default(tag_button);
    gtk_widget_grab_focus(tag_button);
  }

  static ModalWindow* g_open;

 private:
  GtkTextBuffer* buffer(const char* view) const {
    return gtk_text_view_get_buffer(GTK_TEXT_VIEW(object(view)));
  }
  std::string text_of(const char* view) const {
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buffer(view), &a, &b);
    GCharPtr text(gtk_text_buffer_get_text(buffer(view), &a, &b, FALSE));
    return text.get();
  }
  bool active(const char* name) const {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(object(name))) != FALSE;
  }
  void set_active(const char* name, bool on) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(object(name)), on);
  }

  void fill(const TagRuleChoices& c) {
    gtk_text_buffer_set_text(buffer("ThePreferredFolders"), c.preferred_text.c_str(), -1);
    gtk_text_buffer_set_text(buffer("TheProtectedFolders"), c.protected_text.c_str(), -1);
    for (auto [radio, keep] : KEEP_RADIOS) {
      if (keep == c.keep) set_active(radio, true);
    }
    set_active("CheckLeaveHardLinks", c.leave_hard_links);
    set_active("CheckUntagFirst", c.untag_first);
    set_active(c.selected_group_only ? "RadioScopeSelected" : "RadioScopeAll", true);
  }

  TagRuleChoices choices() const {
    TagRuleChoices c;
    c.preferred_text = text_of("ThePreferredFolders");
    c.protected_text = text_of("TheProtectedFolders");
    for (auto [radio, keep] : KEEP_RADIOS) {
      if (active(radio)) c.keep = keep;
    }
    c.leave_hard_links = active("CheckLeaveHardLinks");
    c.untag_first = active("CheckUntagFirst");
    c.selected_group_only = active("RadioScopeSelected");
    return c;
  }

  // "Add Folder...": a folder chooser over the window; the folder chosen is
  // added to the box `view` as a line of its own. A box holds text, so a
  // folder whose name is not UTF-8 cannot be a line of it: only the error
  // signal.
  void choose_folder(const char* view) {
    choose_file({"Add Folder", "TheWinAddFolder", GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Add",
                 [](GtkFileChooser* chooser) {
                   gtk_file_chooser_set_current_folder(chooser, g_get_home_dir());
                 },
                 [this, view](const std::string& dir) { add_folder(view, dir); }});
  }
  void add_folder(const char* view, const std::string& dir) {
    if (!g_utf8_validate(dir.data(), static_cast<gssize>(dir.size()), nullptr)) {
      ctx_.prompter.error_signal();
      return;
    }
    std::string line = dir + "\n";
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer(view), &end);
    GtkTextIter last = end;
    if (gtk_text_iter_backward_char(&last) && gtk_text_iter_get_char(&last) != '\n') {
      line.insert(0, "\n");
    }
    gtk_text_buffer_insert(buffer(view), &end, line.c_str(), static_cast<gint>(line.size()));
  }

  // Whether a live file of the list lies below the (real) folder.
  bool lists_a_file_below(const std::string& folder) const {
    for (const auto& group : all_groups_) {
      for (const RuleMember& m : group) {
        if (is_below(m.path, folder)) return true;
      }
    }
    return false;
  }

  // The preview, or why Tag cannot run: a folder line that is no folder is
  // refused before anything is tagged (a protected folder typed wrong
  // would protect nothing); a folder no listed file lies below is told.
  void update_preview() {
    const TagRuleChoices c = choices();
    const ResolvedRule resolved = resolved_tag_rule_of(c, home_);
    std::string warning;
    if (!unknown_keep_.empty()) {
      warning = "The remembered rule \"" + display_text(unknown_keep_) + "\" is none of " +
                keep_by_names() + ": " + keep_by_name(KeepBy::ORIGINAL) + " is chosen";
    }
    for (const RuleFolder& folder : resolved.folders) {
      if (folder.status == RuleFolder::FOLDER && !lists_a_file_below(folder.path)) {
        warning += (warning.empty() ? "" : "\n") + std::string("No listed file is below ") +
                   display_text(folder.typed) +
                   (folder.typed == folder.path ? "" : " (" + display_text(folder.path) + ")");
      }
    }
    gtk_label_set_text(GTK_LABEL(object("TheFolderWarning")), warning.c_str());
    gtk_widget_set_sensitive(GTK_WIDGET(object("ButtonTag")), resolved.problems.empty());
    if (!resolved.problems.empty()) {
      std::string refused = "Cannot tag: ";
      for (std::size_t i = 0; i < resolved.problems.size(); ++i) {
        refused += (i == 0 ? "" : "; ") + display_text(resolved.problems[i]);
      }
      gtk_label_set_text(GTK_LABEL(object("ThePreview")), refused.c_str());
      gtk_label_set_text(GTK_LABEL(object("ThePreviewLeftAlone")), "");
      gtk_text_buffer_set_text(buffer("ThePreviewGroups"), "", -1);
      return;
    }
    // A preferred folder in a reason: as its line was typed.
    std::vector<std::string> preferred_shown;
    for (const RuleFolder& folder : resolved.folders) {
      if (preferred_shown.size() < resolved.rule.preferred.size()) {
        preferred_shown.push_back(display_text(folder.typed));
      }
    }
    const RulePreview preview =
        preview_rule_groups(resolved.rule, c.selected_group_only ? selected_group_ : all_groups_,
                            preferred_shown, PREVIEW_GROUPS);
    const RuleSummary& summary = preview.summary;
    gtk_label_set_text(GTK_LABEL(object("ThePreview")), summary.preview_line().c_str());
    gtk_label_set_text(GTK_LABEL(object("ThePreviewLeftAlone")), summary.left_alone_line().c_str());
    gtk_text_buffer_set_text(buffer("ThePreviewGroups"), preview.groups_text.c_str(),
                             static_cast<gint>(preview.groups_text.size()));
  }

  void tag() {
    const TagRuleChoices c = choices();
    const ResolvedRule resolved = resolved_tag_rule_of(c, home_);
    if (!resolved.problems.empty()) {
      // A folder went away since the preview: say so, tag nothing.
      update_preview();
      ctx_.prompter.error_signal();
      return;
    }
    bool tagged = run_holding_busy_word(ctx_.list, ctx_.prompter, list_commands::TAG_BY_RULE, [&] {
      apply_rule(ctx_, resolved.rule, c.selected_group_only ? selected_group_ : all_groups_);
    });
    if (!tagged) return;
    save_tag_rule_choices(rules_file_, c);
    close();
  }

  ListContext ctx_;
  std::string rules_file_;
  std::string home_;
  std::string unknown_keep_;  // the Rules file's rule, when it is none
  std::vector<std::vector<RuleMember>> all_groups_, selected_group_;
};

ModalWindow* TagRuleWindow::g_open = nullptr;

}  // namespace

void open_tag_rule_window(ListContext ctx, const std::string& rules_file) {
  if (ctx.list.size() <= 2) {
    ctx.prompter.error_signal();
    return;
  }
  if (refuse_while_busy(ctx.list, ctx.prompter, list_commands::TAG_BY_RULE)) return;
  ModalWindow::open_or_present(TagRuleWindow::g_open, [&] {
    register_resources();
    new TagRuleWindow(std::move(ctx), rules_file);
  });
}

GtkWidget* tag_rule_window() { return ModalWindow::window_of(TagRuleWindow::g_open); }
