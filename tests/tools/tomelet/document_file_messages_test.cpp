// A FILE that is no document the reader can open is named with what it is, the same way by every
// command; the reader's own message follows only where it says more (a later format, a damaged
// registry), never a version read from bytes that were no trailer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;

const std::string kVersionMessage =
    "The archive was created with a different version of ZLBArchive (v";

// The last two lines of stderr, the last one first.
std::pair<std::string, std::string> LastTwoLines(std::string text) {
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  const auto last = text.rfind('\n');
  const std::string lastLine = last == std::string::npos ? text : text.substr(last + 1);
  text = last == std::string::npos ? "" : text.substr(0, last);
  const auto before = text.rfind('\n');
  return {lastLine, before == std::string::npos ? text : text.substr(before + 1)};
}

class BadDocumentFile : public ::testing::Test {
 protected:
  // Runs list, info and serve on path: each fails with exit 1 and the same words. A folder is
  // served as a library, so serve is left out for one.
  std::pair<std::string, std::string> Refusal(const fs::path& path, bool served = true) {
    const auto listed = RunTool({"list", path.string()});
    EXPECT_EQ(listed.exitCode, 1) << listed.err;
    const auto info = RunTool({"info", "--json", path.string()});
    EXPECT_EQ(info.exitCode, 1) << info.err;
    EXPECT_EQ(info.err, listed.err);
    if (served) {
      const auto serve = RunTool({"serve", "--port", "0", path.string()});
      EXPECT_EQ(serve.exitCode, 1) << serve.err;
      EXPECT_EQ(serve.err, listed.err);
    }
    return LastTwoLines(listed.err);
  }

  fs::path Sample() {
    const auto document = folder_ / "doc.tlt";
    SampleDocument().WriteTo(document);
    return document;
  }

  TScratchFolder folder_;
};

TEST_F(BadDocumentFile, WhatIsNotARegularFileIsNamedAndRefusedAtOnce) {
  EXPECT_EQ(Refusal(folder_.Path(), false).first,
            folder_.Path().string() +
                " is a folder, not a document (tomelet pack makes a document of a folder)");
  EXPECT_EQ(Refusal("/dev/null").first, "/dev/null is a character device, not a document file");
  // The tool's standard input is /dev/null here.
  EXPECT_EQ(Refusal("/dev/stdin").first, "/dev/stdin is a character device, not a document file");
  // A pipe is never opened: reading it would wait for a writer that never comes.
  const auto pipe = folder_ / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(Refusal(pipe).first,
            pipe.string() +
                " is a pipe, not a document file: documents are read by position, so save it "
                "to a file first");
  const auto missing = Refusal(folder_ / "absent.tlt");
  EXPECT_EQ(missing.first, "Archive file not found: " + (folder_ / "absent.tlt").string());
  EXPECT_EQ(missing.second, "");
}

TEST_F(BadDocumentFile, AFileThatIsNoDocumentSaysSoInOneLine) {
  const auto empty = folder_ / "empty.tlt";
  WriteFile(empty, "");
  EXPECT_EQ(Refusal(empty).first, empty.string() + " is empty, not a Tomelet document");

  const auto text = folder_ / "passwd";
  WriteFile(text, "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1:daemon:/usr/sbin\n");
  EXPECT_EQ(Refusal(text), std::pair(text.string() + " is not a Tomelet document", std::string()));
}

TEST_F(BadDocumentFile, ADocumentCutShortOrOfALaterFormatIsToldApart) {
  const auto document = Sample();
  const auto whole = ReadFile(document);
  WriteFile(document, whole.substr(0, whole.size() / 2));
  EXPECT_EQ(
      Refusal(document).first,
      document.string() + " seems to be a Tomelet document cut short: it ends before its trailer");

  // Cut at the front instead: the trailer is whole but counts bytes the file no longer has.
  WriteFile(document, whole.substr(whole.size() / 2));
  const auto front = Refusal(document);
  EXPECT_EQ(front.first, "Error reading registry");
  EXPECT_EQ(front.second, document.string() +
                              " seems to be a Tomelet document cut short: its trailer counts "
                              "more bytes than the file holds");

  WriteFile(document, whole);
  PatchByte(document, -36 + 8, 3);
  const auto later = Refusal(document);
  EXPECT_EQ(later.first, kVersionMessage + "3)");
  EXPECT_EQ(later.second, document.string() +
                              " seems to be a Tomelet document of a later format (version 3) "
                              "than this tomelet reads");
}

}  // namespace
}  // namespace tomelet::testing
