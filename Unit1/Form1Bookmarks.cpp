// The reader's bookmarks of the open document and the history of its last session: both kept per
// document, keyed as the remembered place is, and only once the document's password was given.
#include <ctime>

#include "Unit1/Form1Logic.h"
#include "document/DocumentAddress.h"
#include "platform/files/AtomicFile.h"

namespace tomelet {
namespace {

constexpr std::string_view kHistoryExtension = ".history";
// A history file larger than this is not one the browser wrote.
constexpr std::uintmax_t kLargestHistory = 4 * 1024 * 1024;

}  // namespace

void TForm1Logic::RecallBookmarks() {
  if (!documentKey_.empty()) {
    try {
      const auto stored = TBookmarkStore(BookmarkFolder).Load(documentKey_);
      bookmarks_ = stored.Bookmarks;
      if (!stored.KeptAside.empty())
        dialogs_.ShowInformation("The bookmarks of this document were damaged. They were kept as " +
                                 stored.KeptAside.string() + ", and the list starts empty.");
    } catch (const EBookmarkFileError& failure) {
      bookmarksKept_ = false;
      dialogs_.ShowInformation(failure.what());
    }
  }
  view_.SetEnabled(TFormControl::ButtonBookmarks, BookmarksAllowed());
  view_.SetEnabled(TFormControl::Bookmarks1, BookmarksAllowed());
}

void TForm1Logic::SaveBookmarks() {
  const TBookmarkStore store(BookmarkFolder);
  if (!store.Save(documentKey_, bookmarks_))
    dialogs_.ShowInformation("The bookmarks cannot be written to " +
                             store.FileOf(documentKey_).string() + ".");
}

void TForm1Logic::AddBookmark() {
  if (!BookmarksAllowed())
    return;
  const TPagePosition position = view_.PagePosition();
  if (!HasDocumentPrefix(position.Address)) {
    view_.SetStatusText("Only pages of the document can be bookmarked.");
    return;
  }
  TBookmark bookmark{pageTitle_.empty() ? PlaceOfAddress(position.Address).Page : pageTitle_,
                     position.Address, position.ScrollX, position.ScrollY, std::time(nullptr)};
  const auto kept = std::find_if(bookmarks_.begin(), bookmarks_.end(),
                                 [&](const TBookmark& b) { return b.Address == bookmark.Address; });
  if (kept == bookmarks_.end())
    bookmarks_.push_back(bookmark);
  else
    *kept = bookmark;
  SaveBookmarks();
  view_.SetStatusText("Bookmarked: " + bookmark.Title);
}

// A bookmark of the page shown only scrolls: opening that page again would lose what the reader
// did on it.
void TForm1Logic::OpenBookmark(std::size_t index) {
  if (index >= bookmarks_.size())
    return;
  const TBookmark& bookmark = bookmarks_[index];
  if (PlaceOfAddress(view_.PagePosition().Address).Page == PlaceOfAddress(bookmark.Address).Page) {
    view_.ScrollPage(bookmark.ScrollX, bookmark.ScrollY);
    return;
  }
  pendingScroll_ = {bookmark.ScrollX, bookmark.ScrollY};
  webBrowser_.Navigate(bookmark.Address);
}

void TForm1Logic::RenameBookmark(std::size_t index, const std::string& title) {
  if (index >= bookmarks_.size() || title.empty())
    return;
  bookmarks_[index].Title = title;
  SaveBookmarks();
}

void TForm1Logic::DeleteBookmark(std::size_t index) {
  if (index >= bookmarks_.size())
    return;
  bookmarks_.erase(bookmarks_.begin() + static_cast<std::ptrdiff_t>(index));
  SaveBookmarks();
}

std::size_t TForm1Logic::ImportBookmarks(const std::filesystem::path& file) {
  std::size_t added = 0;
  for (const TBookmark& bookmark : ReadBookmarkFile(file)) {
    const bool known = std::any_of(bookmarks_.begin(), bookmarks_.end(), [&](const TBookmark& b) {
      return b.Address == bookmark.Address;
    });
    if (known || !DocumentHasPage(PlaceOfAddress(bookmark.Address).Page))
      continue;
    bookmarks_.push_back(bookmark);
    ++added;
  }
  if (added > 0)
    SaveBookmarks();
  return added;
}

void TForm1Logic::ExportBookmarks(const std::filesystem::path& file) const {
  if (!WriteFileAtomically(file, FormatBookmarkFile(bookmarks_)))
    throw EBookmarkFileError("The bookmarks cannot be written to " + file.string() + ".");
}

std::string TForm1Logic::RecalledHistory() const {
  if (documentKey_.empty() || PlaceFolder.empty())
    return {};
  const auto file = PlaceFolder / (documentKey_ + std::string(kHistoryExtension));
  return ReadSmallFile(file, kLargestHistory).value_or("");
}

void TForm1Logic::RememberHistory() {
  if (documentKey_.empty() || PlaceFolder.empty())
    return;
  const auto state = view_.HistoryState();
  if (!state.empty())
    WriteFileAtomically(PlaceFolder / (documentKey_ + std::string(kHistoryExtension)), state);
}

}  // namespace tomelet
