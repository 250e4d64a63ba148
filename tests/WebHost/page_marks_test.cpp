// What the reader sees of the viewer's marks, read back from the engine's own picture of the page:
// the current match of Find apart from the others on a light and a dark page, in light and in dark
// style; the searched words marked whole and never printed; the results page dark in dark style.
#include <cairo.h>
#include <gtk/gtk.h>
#include <poppler.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <tuple>

#include "WebHost/FindBar.h"
#include "WebHost/PrintPreview.h"
#include "WebHost/SearchBar.h"
#include "search/ResultsPage.h"
#include "tests/WebHost/HostFixture.h"

namespace tomelet::testing {
namespace {

struct TColour {
  int Red = 0, Green = 0, Blue = 0;

  int DistanceTo(const TColour& other) const {
    return std::abs(Red - other.Red) + std::abs(Green - other.Green) + std::abs(Blue - other.Blue);
  }
  int Lightness() const { return (Red + Green + Blue) / 3; }
};

std::ostream& operator<<(std::ostream& out, const TColour& colour) {
  return out << "rgb(" << colour.Red << ", " << colour.Green << ", " << colour.Blue << ")";
}

TColour ColourAt(cairo_surface_t* image, int x, int y) {
  const auto* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
  return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
          static_cast<int>(pixel & 0xFF)};
}

// The colour that covers most of a box: the background behind the glyphs of a word.
TColour Background(cairo_surface_t* image, int left, int top, int width, int height) {
  std::map<std::tuple<int, int, int>, int> counts;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) {
      const TColour colour = ColourAt(image, x, y);
      ++counts[{colour.Red, colour.Green, colour.Blue}];
    }
  const auto most = std::ranges::max_element(
      counts, [](const auto& a, const auto& b) { return a.second < b.second; });
  const auto [red, green, blue] = most->first;
  return {red, green, blue};
}

// A pixel of a hue, as opposed to black, white and the greys between them.
bool Coloured(const TColour& colour) {
  const int high = std::max({colour.Red, colour.Green, colour.Blue});
  const int low = std::min({colour.Red, colour.Green, colour.Blue});
  return high - low > 48;
}

struct TSnapshot {
  cairo_surface_t* Image = nullptr;
  bool Done = false;
};

void SnapshotTaken(GObject* view, GAsyncResult* result, gpointer data) {
  auto& snapshot = *static_cast<TSnapshot*>(data);
  snapshot.Image = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  snapshot.Done = true;
}

class PageMarksTest : public HostFixture {
 protected:
  void TearDown() override {
    PreferDark(false);
    HostFixture::TearDown();
  }

  static void PreferDark(bool dark) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
  }

  // The visible part of the page as the engine paints it.
  cairo_surface_t* Snapshot() {
    TSnapshot snapshot;
    GCancellable* cancellable = g_cancellable_new();
    webkit_web_view_get_snapshot(View(), WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                 WEBKIT_SNAPSHOT_OPTIONS_NONE, cancellable, SnapshotTaken,
                                 &snapshot);
    if (!PumpUntil([&] { return snapshot.Done; }, 10s)) {
      ADD_FAILURE() << "no snapshot";
      g_cancellable_cancel(cancellable);
      // The answer writes into this frame, so the test cannot go on without it.
      if (!PumpUntil([&] { return snapshot.Done; }))
        std::abort();
    }
    g_object_unref(cancellable);
    return snapshot.Image;
  }

  // The background the reader sees behind the element's text, a few pixels in from its edges.
  TColour BackgroundOf(cairo_surface_t* image, const std::string& id) {
    const std::string box = Evaluate("(function () { const r = document.getElementById('" + id +
                                     "').getBoundingClientRect();"
                                     "  return [r.left, r.top, r.width, r.height].map(Math.round)"
                                     "      .join(' '); })()");
    int left = 0, top = 0, width = 0, height = 0;
    std::sscanf(box.c_str(), "%d %d %d %d", &left, &top, &width, &height);
    return Background(image, left + 2, top + 2, width - 4, height - 4);
  }

  TFindBar* OpenFindBar() {
    host_->Document()->Exec(&CGID_WebBrowser, kFindDialogCommand, 0, {});
    for (Gtk::Widget* child : dynamic_cast<Gtk::Container&>(host_->Widget()).get_children())
      if (auto* bar = dynamic_cast<TFindBar*>(child))
        return bar;
    return nullptr;
  }

  // A snapshot once the element's background differs from plain, or after a few seconds: the
  // marks are painted a moment after the count is known.
  cairo_surface_t* SnapshotWhenMarked(const std::string& id, TColour plain) {
    cairo_surface_t* image = Snapshot();
    for (int tries = 0; image && tries < 30 && BackgroundOf(image, id).DistanceTo(plain) < 40;
         ++tries) {
      cairo_surface_destroy(image);
      PumpFor(100ms);
      image = Snapshot();
    }
    return image;
  }

  std::string Find(TFindBar& bar, const std::string& text, bool backwards = false) {
    const std::string before = bar.Count();
    bar.Search(text, false, backwards);
    PumpUntil([&] { return !bar.Count().empty() && bar.Count() != before; }, 3s);
    PumpFor(200ms);
    return bar.Count();
  }

  // The current match and the others on the light and on the dark paragraph: the current one
  // differs clearly from the others, and every match from its paragraph.
  void ExpectTheCurrentMatchStandsOut(TFindBar& bar, const std::string& style) {
    SCOPED_TRACE(style);
    ASSERT_EQ(Find(bar, "needle"), "1 of 5");
    cairo_surface_t* image = SnapshotWhenMarked("l2", {255, 255, 255});
    ASSERT_NE(image, nullptr);
    const TColour light = BackgroundOf(image, "l1");
    const TColour other = BackgroundOf(image, "l2");
    EXPECT_GT(light.DistanceTo(other), 80) << light << " against " << other;
    EXPECT_GT(other.DistanceTo({255, 255, 255}), 40) << other;
    cairo_surface_destroy(image);

    // The fourth match is the first of the dark paragraph.
    Find(bar, "needle");
    Find(bar, "needle");
    ASSERT_EQ(Find(bar, "needle"), "4 of 5");
    image = SnapshotWhenMarked("d2", {0x12, 0x12, 0x12});
    ASSERT_NE(image, nullptr);
    const TColour dark = BackgroundOf(image, "d1");
    const TColour darkOther = BackgroundOf(image, "d2");
    EXPECT_GT(dark.DistanceTo(darkOther), 80) << dark << " against " << darkOther;
    EXPECT_GT(darkOther.DistanceTo({0x12, 0x12, 0x12}), 40) << darkOther;
    EXPECT_LT(darkOther.Lightness(), 128) << "the page's light text stays readable";
    EXPECT_LT(BackgroundOf(image, "l1").DistanceTo(other), 10)
        << "the first match is one of the others again";
    cairo_surface_destroy(image);
  }
};

TEST_F(PageMarksTest, TheCurrentMatchStandsApartOnLightAndDarkPagesInEitherStyle) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/marks.htm"));
  TFindBar* bar = OpenFindBar();
  ASSERT_NE(bar, nullptr);
  ExpectTheCurrentMatchStandsOut(*bar, "light style");

  PreferDark(true);
  ASSERT_TRUE(PumpUntil(
      [&] { return Evaluate("matchMedia('(prefers-color-scheme: dark)').matches") == "true"; }));
  host_->CloseFindBar();
  bar = OpenFindBar();
  ExpectTheCurrentMatchStandsOut(*bar, "dark style");
  cairo_surface_t* image = Snapshot();
  ASSERT_NE(image, nullptr);
  EXPECT_LT(BackgroundOf(image, "w2").Lightness(), 64) << "the page itself is dark";
  cairo_surface_destroy(image);

  host_->CloseFindBar();
  PumpFor(300ms);
  image = Snapshot();
  ASSERT_NE(image, nullptr);
  EXPECT_LT(BackgroundOf(image, "l1").DistanceTo({255, 255, 255}), 10) << "closing unmarks";
  cairo_surface_destroy(image);
}

TEST_F(PageMarksTest, SearchedWordsAreMarkedWholeOnScreenAndNeverPrinted) {
  ASSERT_TRUE(NavigateAndWait("tome://inpack/marks.htm"));
  int marked = -1;
  HighlightWords(View(), "dict", [&](int count) { marked = count; });
  ASSERT_TRUE(PumpUntil([&] { return marked >= 0; }));
  EXPECT_EQ(marked, 2);
  PumpFor(200ms);
  cairo_surface_t* image = Snapshot();
  ASSERT_NE(image, nullptr);
  const TColour page{255, 255, 255};
  EXPECT_GT(BackgroundOf(image, "w1").DistanceTo(page), 40);
  EXPECT_GT(BackgroundOf(image, "w3").DistanceTo(page), 40) << "in any letter case";
  EXPECT_LT(BackgroundOf(image, "w2").DistanceTo(page), 10) << "not inside a longer word";
  cairo_surface_destroy(image);

  // The printed sheet holds the page's black and greys, and no mark in any colour.
  const auto pdf = folder_ / "marks.pdf";
  std::optional<std::string> printed;
  PrintToPdf(View(), pdf, [&](std::string error) { printed = error; });
  ASSERT_TRUE(PumpUntil([&] { return printed.has_value(); }, 10s));
  ASSERT_EQ(*printed, "");
  gchar* uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
  PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, nullptr);
  g_free(uri);
  ASSERT_NE(document, nullptr);
  PopplerPage* sheet = poppler_document_get_page(document, 0);
  double width = 0, height = 0;
  poppler_page_get_size(sheet, &width, &height);
  cairo_surface_t* paper = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                                      static_cast<int>(height));
  cairo_t* cairo = cairo_create(paper);
  cairo_set_source_rgb(cairo, 1, 1, 1);
  cairo_paint(cairo);
  poppler_page_render_for_printing(sheet, cairo);
  cairo_destroy(cairo);
  cairo_surface_flush(paper);
  int colouredPixels = 0, inkedPixels = 0;
  for (int y = 0; y < static_cast<int>(height); ++y)
    for (int x = 0; x < static_cast<int>(width); ++x) {
      const TColour colour = ColourAt(paper, x, y);
      colouredPixels += Coloured(colour) ? 1 : 0;
      inkedPixels += colour.Lightness() < 128 ? 1 : 0;
    }
  EXPECT_GT(inkedPixels, 100) << "the words are printed";
  EXPECT_EQ(colouredPixels, 0);
  cairo_surface_destroy(paper);
  g_object_unref(sheet);
  g_object_unref(document);
}

TEST_F(PageMarksTest, TheResultsPageIsDarkInDarkStyle) {
  const search::TResultsAddresses addresses{"tome://search/", "tome://inpack/", true, "", true};
  host_->SearchPage = [&](const std::string&) {
    return search::StatusPageHtml({"needle", 0, 10}, "Indexing the document for search: 40%", false,
                                  addresses);
  };
  const auto corner = [&] {
    cairo_surface_t* image = Snapshot();
    const TColour colour = image ? Background(image, 0, 0, 8, 8) : TColour{};
    if (image)
      cairo_surface_destroy(image);
    return colour;
  };
  ASSERT_TRUE(NavigateAndWait("tome://search/?q=needle"));
  EXPECT_GT(corner().Lightness(), 200);
  PreferDark(true);
  EXPECT_TRUE(PumpUntil([&] { return corner().Lightness() < 64; }, 5s)) << corner();
}

}  // namespace
}  // namespace tomelet::testing
