// The shelf in a tab: one search field over every document on the shelf, its results as the
// reader types (keywords first, then full-text hits with their snippets), and, with nothing
// typed, the documents with their switches for searching and their groups.
#pragma once

#include <gtkmm.h>

#include <string>
#include <vector>

#include "shelf/Shelf.h"
#include "shelf/window/ShelfFrame.h"
#include "shelf/window/WindowWorker.h"

namespace tomelet::shelf {

inline constexpr std::string_view kShelfCaption = "Tomelet Library";

class TShelfPage final : public Gtk::Box {
 public:
  TShelfPage(TShelf& shelf, IShelfFrame& frame);

  void FocusSearch();
  // Searches text as if the reader had typed it; with openSole, a sole keyword equal to it across
  // the shelf opens at once.
  void Search(const std::string& text, bool openSole);
  // Documents came or went, or keywords a search waited for were read.
  void ShelfChanged();

 private:
  enum TJobKind { kKeywordJob, kSearchJob, kListJob };

  void BuildTop();
  void Searched(TShelfResults results);
  // The keywords alone are shown while the pages are still searched.
  void ShowResults(const TShelfResults& results, bool complete = true);
  void ShowDocuments(const std::vector<TShelfDocument>& documents);
  Gtk::Widget& DocumentRow(const TShelfDocument& document);
  Gtk::Widget& GroupRow(const std::string& name, std::size_t members, bool searched);
  Gtk::MenuButton& GroupsButton(const TShelfDocument& document);
  void AskNewGroup(const std::string& document);
  void AddFolder();
  void Open(const std::string& documentName, const std::string& address);
  void ListDocuments();
  bool SearchKey(GdkEventKey* key);
  static void Clear(Gtk::ListBox& list);

  TShelf& shelf_;
  IShelfFrame& frame_;
  TWindowWorker worker_;
  // The keywords answer at once, never behind a full-text search still under way.
  TWindowWorker keywordWorker_;
  Gtk::Box top_{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::SearchEntry query_;
  Gtk::Button addFolder_{"Add Folder..."};
  Gtk::CheckButton installedBooks_{"Installed Books"};
  Gtk::Label status_;
  Gtk::Stack views_;
  Gtk::ScrolledWindow documentsScroll_, resultsScroll_;
  Gtk::ListBox documents_, results_;
  // The document each line of the list opens; empty for a line of a group.
  std::vector<std::string> listed_;
  // What each row of the results opens: the document's name and the address.
  std::vector<std::pair<std::string, std::string>> targets_;
  std::string searched_;
  bool openSole_ = false;
};

}  // namespace tomelet::shelf
