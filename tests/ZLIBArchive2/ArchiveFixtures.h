// The archive tests' fixture: the reader under test, what it reports, and a scratch folder for
// the documents and hand-made bytes it reads.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/TestDocument.h"

namespace tomelet::test {

using tomelet::testing::Bytes;
using tomelet::testing::Concat;
using tomelet::testing::Crc;
using tomelet::testing::Deflated;
using tomelet::testing::Record;
using tomelet::testing::SampleText;
using tomelet::testing::Text;
using tomelet::testing::ToBytes;
using tomelet::testing::Trailer;
using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

class ArchiveTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  std::string WriteBytes(const std::string& name, const Bytes& bytes) const {
    TFileStream(PathOf(name), TFileStream::Mode::Create).Write(bytes);
    return PathOf(name);
  }
  std::string WriteArchive(const TTestDocument& document, const std::string& name = "doc.tlt") {
    return document.WriteTo(dir_ / name).string();
  }
  std::string WriteArchive(const TZLBArchiveWriter& writer, const std::string& name = "doc.tlt") {
    writer.WriteFile(PathOf(name));
    return PathOf(name);
  }
  // The message that fn raises, or "" when it raises nothing.
  template <typename Fn>
  static std::string MessageOf(Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }
  std::string Extract(const std::string& name) {
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    return std::string(dest.View());
  }
  void RecordProgress() {
    arc_.OnProgress = [this](const std::string& msg, int percentage) {
      progress_.push_back(msg + "@" + std::to_string(percentage));
    };
  }

  TScratchFolder dir_;
  TZLBArc2 arc_;
  std::vector<std::string> progress_;
};

}  // namespace tomelet::test
