// What serving a document through the protocol handler costs over inflating its entries
// directly: every file of a real documentation set, packed once, requested through the request
// driver, through the request core alone, and extracted with ExtractToStream.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "OurNSHandler/OurNSHandler.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentAddress.h"
#include "document/DocumentRequest.h"
#include "platform/com/ComServer.h"
#include "platform/urlmon/RequestDriver.h"

namespace {

namespace fs = std::filesystem;
using namespace tomelet;

const fs::path kDocumentationSet = "/usr/share/doc/python3.11/html";

// Escapes what the handler's decoding would otherwise change.
std::string UrlFor(const std::string& archivePath) {
  std::string url(kDocumentUrlPrefix);
  for (char c : archivePath) {
    switch (c) {
      case '\\':
        url += '/';
        break;
      case ' ':
        url += "%20";
        break;
      case '%':
        url += "%25";
        break;
      case '+':
        url += "%2B";
        break;
      case '?':
        url += "%3F";
        break;
      case '#':
        url += "%23";
        break;
      default:
        url += c;
    }
  }
  return url;
}

// The packed documentation set, its handler module and registration, made once per run.
class Document {
 public:
  static Document& Get() {
    static Document document;
    return document;
  }
  ~Document() {
    registration_.Unregister();
    module_.reset();
    archive_.CloseArchive();
    fs::remove_all(folder_);
  }

  bool Available() const { return !paths_.empty(); }
  const std::vector<std::string>& Paths() const { return paths_; }
  const std::vector<std::string>& Urls() const { return urls_; }
  std::int64_t TotalBytes() const { return totalBytes_; }
  TZLBArc2& Archive() { return archive_; }
  IInternetSession& Session() { return *session_; }

 private:
  Document() {
    if (!fs::is_directory(kDocumentationSet))
      return;
    std::string pattern = (fs::temp_directory_path() / "protocol-bench-XXXXXX").native();
    folder_ = mkdtemp(pattern.data());
    Pack();
    archive_.OpenArchive(folder_ + "/document.tlt");
    module_ = std::make_unique<TOurNSHandlerModule>();
    RegisterClassObjects();
    registration_.Register(*module_, archive_);
    CoInternetGetSession(0, session_.ReleaseAndGetAddressOf(), 0);
  }

  void Pack() {
    TZLBArchiveWriter writer;
    for (const auto& file : fs::recursive_directory_iterator(kDocumentationSet)) {
      if (!file.is_regular_file())
        continue;
      std::string path = fs::relative(file.path(), kDocumentationSet).native();
      std::replace(path.begin(), path.end(), '/', '\\');
      std::ifstream in(file.path(), std::ios::binary);
      std::string contents{std::istreambuf_iterator<char>(in), {}};
      totalBytes_ += static_cast<std::int64_t>(contents.size());
      writer.AddEntry(path, contents);
      urls_.push_back(UrlFor(path));
      paths_.push_back(std::move(path));
    }
    writer.WriteFile(folder_ + "/document.tlt");
  }

  std::string folder_;
  std::vector<std::string> paths_;
  std::vector<std::string> urls_;
  std::int64_t totalBytes_ = 0;
  TZLBArc2 archive_;
  std::unique_ptr<TOurNSHandlerModule> module_;
  TProtocolRegistration registration_;
  ComPtr<IInternetSession> session_;
};

void ServeAll(Document& document) {
  for (const std::string& url : document.Urls()) {
    RequestResult result = DriveProtocolRequest(document.Session(), url, false);
    if (result.Outcome != RequestOutcome::Served)
      throw std::runtime_error("not served: " + url);
    benchmark::DoNotOptimize(result.Bytes.data());
  }
}

// What every front end pays before its own share: address mapping, lookup and inflation.
void RequestAllFromCore(Document& document) {
  const auto shared = ShareDocument(document.Archive());
  for (const std::string& url : document.Urls()) {
    TDocumentReply reply = RequestDocumentEntry(*shared, url);
    if (reply.Status != TDocumentReply::TStatus::Served)
      throw std::runtime_error("not served: " + url);
    benchmark::DoNotOptimize(reply.Contents.Bytes().data());
  }
}

void ExtractAll(Document& document) {
  for (const std::string& path : document.Paths()) {
    TMemoryStream contents;
    document.Archive().ExtractToStream(contents, path);
    benchmark::DoNotOptimize(contents.Bytes().data());
  }
}

// The floor for any handler that hands the bytes over through Read: one extra copy of each
// entry into a buffer of its own.
void ExtractAndCopyAll(Document& document) {
  for (const std::string& path : document.Paths()) {
    TMemoryStream contents;
    document.Archive().ExtractToStream(contents, path);
    std::vector<std::byte> copy(contents.Bytes().begin(), contents.Bytes().end());
    benchmark::DoNotOptimize(copy.data());
  }
}

bool Skipped(benchmark::State& state, Document& document) {
  if (document.Available())
    return false;
  state.SkipWithError(("no documentation set at " + kDocumentationSet.native()).c_str());
  return true;
}

void SetThroughput(benchmark::State& state, Document& document) {
  auto requests = static_cast<double>(document.Urls().size());
  state.counters["requests/s"] =
      benchmark::Counter(requests, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["entries"] = requests;
  state.SetBytesProcessed(state.iterations() * document.TotalBytes());
}

void BM_ServeThroughHandler(benchmark::State& state) {
  auto& document = Document::Get();
  if (Skipped(state, document))
    return;
  for (auto _ : state)
    ServeAll(document);
  SetThroughput(state, document);
}
BENCHMARK(BM_ServeThroughHandler)->Unit(benchmark::kMillisecond);

void BM_RequestCore(benchmark::State& state) {
  auto& document = Document::Get();
  if (Skipped(state, document))
    return;
  for (auto _ : state)
    RequestAllFromCore(document);
  SetThroughput(state, document);
}
BENCHMARK(BM_RequestCore)->Unit(benchmark::kMillisecond);

void BM_RawExtractToStream(benchmark::State& state) {
  auto& document = Document::Get();
  if (Skipped(state, document))
    return;
  for (auto _ : state)
    ExtractAll(document);
  SetThroughput(state, document);
}
BENCHMARK(BM_RawExtractToStream)->Unit(benchmark::kMillisecond);

void BM_ExtractAndCopy(benchmark::State& state) {
  auto& document = Document::Get();
  if (Skipped(state, document))
    return;
  for (auto _ : state)
    ExtractAndCopyAll(document);
  SetThroughput(state, document);
}
BENCHMARK(BM_ExtractAndCopy)->Unit(benchmark::kMillisecond);

// The thread's own processor time: other work on a shared machine does not count.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both passes in every iteration, alternating, so drift of the machine hits them alike.
void BM_HandlerOverhead(benchmark::State& state) {
  auto& document = Document::Get();
  if (Skipped(state, document))
    return;
  double served = 0;
  double raw = 0;
  for (auto _ : state) {
    double start = ThreadSeconds();
    ServeAll(document);
    double middle = ThreadSeconds();
    ExtractAll(document);
    served += middle - start;
    raw += ThreadSeconds() - middle;
  }
  state.counters["overhead_%"] = 100.0 * (served / raw - 1.0);
}
BENCHMARK(BM_HandlerOverhead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
