#include <new>

#include "platform/com/ComObject.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet {
namespace {

class THGlobalStream final : public TComObject<IStream> {
 public:
  THGlobalStream(IUnknown* outer, TMemoryStream&& contents)
      : TComObject(outer), contents_(std::move(contents)) {
    contents_.SetPosition(0);
  }

  HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) override {
    if (!buffer && cb > 0)
      return E_POINTER;
    std::size_t count = cb == 0 ? 0 : contents_.Read({static_cast<std::byte*>(buffer), cb});
    if (cbRead)
      *cbRead = static_cast<ULONG>(count);
    return S_OK;
  }

  HRESULT Write(const void* buffer, ULONG cb, ULONG* cbWritten) override {
    if (cbWritten)
      *cbWritten = 0;
    if (!buffer && cb > 0)
      return E_POINTER;
    if (cb == 0)
      return S_OK;
    try {
      contents_.Write({static_cast<const std::byte*>(buffer), cb});
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
    if (cbWritten)
      *cbWritten = cb;
    return S_OK;
  }

  HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) override {
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        break;
      case STREAM_SEEK_CUR:
        base = contents_.Position();
        break;
      case STREAM_SEEK_END:
        base = contents_.Size();
        break;
      default:
        return E_INVALIDARG;
    }
    if (move < -base)
      return E_INVALIDARG;
    std::int64_t position = contents_.Seek(base + move, SeekOrigin::Begin);
    if (newPosition)
      *newPosition = static_cast<std::uint64_t>(position);
    return S_OK;
  }

 private:
  TMemoryStream contents_;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(void* memory, bool, IStream** stream) {
  if (!stream)
    return E_POINTER;
  *stream = nullptr;
  if (memory)
    return E_INVALIDARG;
  return CreateStreamOnMemory(TMemoryStream{}, stream);
}

HRESULT CreateStreamOnMemory(TMemoryStream&& contents, IStream** stream) {
  if (!stream)
    return E_POINTER;
  void* created = nullptr;
  HRESULT hr =
      CreateComInstance<THGlobalStream>(nullptr, IID_IStream, &created, std::move(contents));
  *stream = static_cast<IStream*>(created);
  return hr;
}

}  // namespace tomelet
