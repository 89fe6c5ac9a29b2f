// Fetching with WinINet and from files, decoding with WIC, the disk cache's
// folder, and the notice to the owner window.
#include "html/PictureLoader_win.h"

#include <wincodec.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/File.h"
#include "base/Scoped_win.h"
#include "base/UserFolder.h"
#include "base/Utf_win.h"
#include "html/PictureOrientation.h"
#include "html/PngRows.h"

namespace mojian::html {

namespace {

const wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36";

class WinPictureWorker : public PictureWorker {
public:
    WinPictureWorker() {
        comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(factory_.put()))))
            factory_.reset();
        // Servers that choose the format by what the client accepts send WebP
        // only where the system can decode it.
        ComPtr<IWICBitmapDecoder> webp;
        webp_ = factory_ && SUCCEEDED(factory_->CreateDecoder(GUID_ContainerFormatWebp, nullptr, webp.put()));
        session_.reset(InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    }

    ~WinPictureWorker() override {
        factory_.reset();  // before COM goes
        session_.reset();
        if (comReady_) CoUninitialize();
    }

    WinPictureWorker(const WinPictureWorker&) = delete;
    WinPictureWorker& operator=(const WinPictureWorker&) = delete;

    Fetched Fetch(const PictureAddress& address, const DownloadLimits& limits, FetchControl& control) override {
        if (address.kind == PictureAddress::Kind::File) return FetchFile(address, limits, control);
        if (address.IsNetwork()) return FetchHttp(address, limits, control);
        return {PictureFailure::BadAddress, 0, {}};
    }

    Decoded Decode(std::string_view bytes, const DecodeLimits& limits) override;

private:
    Fetched FetchFile(const PictureAddress& address, const DownloadLimits& limits, FetchControl& control);
    Fetched FetchHttp(const PictureAddress& address, const DownloadLimits& limits, FetchControl& control);
    Fetched Request(const PictureAddress& address, const DownloadLimits& limits, FetchControl& control,
                    std::string& location);
    Fetched Transfer(HINTERNET request, const DownloadLimits& limits, FetchControl& control, std::string& location);

    bool comReady_ = false;
    ComPtr<IWICImagingFactory> factory_;
    bool webp_ = false;
    InternetHandle session_;
};

Fetched WinPictureWorker::FetchFile(const PictureAddress& address, const DownloadLimits& limits,
                                    FetchControl& control) {
    Fetched f;
    const KernelHandle file(CreateFileW(Wide(address.target).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        f.failure = PictureFailure::Missing;
        return f;
    }
    // Only files on disk: a device name ("C:\\con") or a pipe would wait for ever.
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
        f.failure = PictureFailure::Missing;
        return f;
    }
    DownloadMeter meter(limits.maxBytes);
    if (!meter.AcceptsAnnounced(static_cast<std::uint64_t>(size.QuadPart))) {
        f.failure = PictureFailure::TooLarge;
        return f;
    }
    f.bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
        if (control.Cancelled()) {
            f.failure = control.Reason();
            return f;
        }
        DWORD got = 0;
        if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr)) {
            f.failure = PictureFailure::Missing;
            return f;
        }
        if (got == 0) break;
        if (!meter.Add(got)) {  // the file grew meanwhile
            f.failure = PictureFailure::TooLarge;
            return f;
        }
        f.bytes.append(buf, got);
    }
    return f;
}

// Redirects are followed here, hop by hop, rather than inside WinINet:
// Wine's WinINet follows a redirect loop for ever, and each hop must stay
// on the web and within the download's time.
Fetched WinPictureWorker::FetchHttp(const PictureAddress& address, const DownloadLimits& limits,
                                    FetchControl& control) {
    constexpr int kMostRedirects = 20;  // as browsers
    PictureAddress hop = address;
    for (int redirects = 0;; ++redirects) {
        std::string location;
        Fetched f = Request(hop, limits, control, location);
        if (location.empty() || f.failure != PictureFailure::None) return f;
        if (redirects == kMostRedirects) return {PictureFailure::Network, f.httpStatus, {}};
        hop = ResolveRedirect(hop, location);
        if (!hop.IsNetwork()) return {PictureFailure::BadAddress, f.httpStatus, {}};
        if (control.Cancelled()) return {control.Reason(), 0, {}};
    }
}

Fetched WinPictureWorker::Request(const PictureAddress& address, const DownloadLimits& limits,
                                  FetchControl& control, std::string& location) {
    if (!session_) return {PictureFailure::Network, 0, {}};
    const NetworkParts parts = SplitNetworkAddress(address);
    InternetHandle connect(InternetConnectW(session_.get(), Wide(parts.host).c_str(),
                                            static_cast<INTERNET_PORT>(parts.port), nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect) return {PictureFailure::Network, 0, {}};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.https) flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(
        HttpOpenRequestW(connect.get(), L"GET", Wide(parts.pathAndQuery).c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!request) return {PictureFailure::Network, 0, {}};
    // The loader cuts the download off at its limit by closing these handles
    // from its own thread. Wine's WinINet does not wake a blocked call when
    // its handle closes, so the system's own timeouts end such a call too,
    // a second after the loader's limit so that the limit is what reports it.
    const DWORD ms = static_cast<DWORD>(std::min<long long>(limits.time.count() + 1000, 0x7FFFFFFF));
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(request.get(), option, const_cast<DWORD*>(&ms), sizeof ms);
    // Whoever comes first closes the handles: the loader's abort from its
    // thread, or the owners here when the fetch ends by itself.
    control.OnAbort([connect = connect.get(), request = request.get()] {
        InternetCloseHandle(request);
        InternetCloseHandle(connect);
    });
    Fetched f = Transfer(request.get(), limits, control, location);
    if (control.ClearAbort()) {
        request.release();
        connect.release();
    }
    return f;
}

Fetched WinPictureWorker::Transfer(HINTERNET request, const DownloadLimits& limits, FetchControl& control,
                                   std::string& location) {
    Fetched f;
    auto failed = [&](PictureFailure why) {
        f.failure = control.Cancelled() ? control.Reason() : why;
        f.bytes.clear();
        return std::move(f);
    };
    const wchar_t* accept = webp_ ? L"Accept: image/webp,image/png,image/jpeg,image/gif,image/*;q=0.8,*/*;q=0.5\r\n"
                                  : L"Accept: image/png,image/jpeg,image/gif,image/*;q=0.8,*/*;q=0.5\r\n";
    if (!HttpSendRequestW(request, accept, static_cast<DWORD>(-1), nullptr, 0)) {
        return failed(GetLastError() == ERROR_INTERNET_TIMEOUT ? PictureFailure::TimedOut : PictureFailure::Network);
    }
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return failed(PictureFailure::Network);
    f.httpStatus = static_cast<int>(status);
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        std::wstring where(2048, L'\0');
        DWORD bytes = static_cast<DWORD>(where.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, HTTP_QUERY_LOCATION, where.data(), &bytes, nullptr) && bytes > 0) {
            where.resize(bytes / sizeof(wchar_t));
            location = Narrow(where);
            return f;
        }
    }
    if (status < 200 || status > 299) return failed(PictureFailure::HttpStatus);

    DownloadMeter meter(limits.maxBytes);
    std::optional<std::uint64_t> announced;
    wchar_t lengthText[32] = {};
    size = sizeof lengthText;
    if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr)) {
        wchar_t* end = nullptr;
        const unsigned long long n = std::wcstoull(lengthText, &end, 10);
        if (end != lengthText && *end == 0) announced = n;
    }
    if (announced) {
        if (!meter.AcceptsAnnounced(*announced)) return failed(PictureFailure::TooLarge);
        f.bytes.reserve(static_cast<std::size_t>(*announced));
    }
    char buf[65536];
    for (;;) {
        if (control.Cancelled()) return failed(control.Reason());
        // Reading only what has arrived lets a trickling server be cut off
        // between reads (a full buffer would wait for all of it).
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            return failed(GetLastError() == ERROR_INTERNET_TIMEOUT ? PictureFailure::TimedOut : PictureFailure::Network);
        }
        if (available == 0) break;
        DWORD got = 0;
        if (!InternetReadFile(request, buf, std::min<DWORD>(available, sizeof buf), &got)) {
            return failed(GetLastError() == ERROR_INTERNET_TIMEOUT ? PictureFailure::TimedOut : PictureFailure::Network);
        }
        if (got == 0) break;
        if (!meter.Add(got)) return failed(PictureFailure::TooLarge);
        f.bytes.append(buf, got);
    }
    if (announced && f.bytes.size() != *announced) return failed(PictureFailure::Network);  // cut short
    return f;
}

// The decoder's first frame, read from `bytes` (which must outlive them).
struct WicFrame {
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;  // the first frame of an animated GIF
    HRESULT hr = E_FAIL;
};

WicFrame OpenFrame(IWICImagingFactory* factory, std::string_view bytes) {
    WicFrame f;
    if (FAILED(f.hr = factory->CreateStream(f.stream.put())) ||
        FAILED(f.hr = f.stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                                      static_cast<DWORD>(bytes.size()))) ||
        FAILED(f.hr = factory->CreateDecoderFromStream(f.stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                       f.decoder.put())) ||
        FAILED(f.hr = f.decoder->GetFrame(0, f.frame.put())))
        f.frame.reset();
    return f;
}

ComPtr<IWICFormatConverter> ToPremultipliedBgra(IWICImagingFactory* factory, IWICBitmapSource* source) {
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        converter.reset();
    return converter;
}

// Wine's decoders hold a whole picture each (a 750 x 30,000 JPEG: 67 MB).
// Of the long pictures read as they are drawn, one at a time has its
// decoder open, whichever thread reads it, so that a page of several takes
// the memory of one.
struct LongDecoders {
    std::mutex mutex;
    const class WicRows* open = nullptr;  // the one whose decoder is open
};

LongDecoders& Long() {
    static auto* decoders = new LongDecoders;  // never destroyed: a picture may go after statics do
    return *decoders;
}

// A long picture's rows, read from WIC's decoder as they are drawn. It keeps
// the file (the decoder is opened again after another long picture had
// its turn) and a reference on windowscodecs, since the picture may outlive
// the worker threads that had COM. Members go in reverse order: COM first,
// the module last.
class WicRows : public PictureRows {
public:
    WicRows(ComPtr<IWICImagingFactory> factory, std::string_view bytes, PixelSize size)
        : factory_(std::move(factory)), bytes_(bytes), size_(size) {
        HMODULE codecs = nullptr;
        if (GetModuleHandleExW(0, L"windowscodecs.dll", &codecs)) codecs_.reset(codecs);
    }
    ~WicRows() override {
        const std::lock_guard<std::mutex> lock(Long().mutex);
        if (Long().open == this) Long().open = nullptr;
        Close();
    }
    WicRows(const WicRows&) = delete;
    WicRows& operator=(const WicRows&) = delete;

    bool Read(int top, int count, std::uint32_t* out) const override {
        LongDecoders& d = Long();
        const std::lock_guard<std::mutex> lock(d.mutex);  // and WIC's objects take one caller at a time
        if (d.open != this) {
            if (d.open) d.open->Close();
            d.open = nullptr;
            if (!Open()) return false;
            d.open = this;
        }
        const WICRect band{0, top, size_.width, count};
        const UINT stride = static_cast<UINT>(size_.width) * 4;
        return SUCCEEDED(converter_->CopyPixels(&band, stride, stride * static_cast<UINT>(count),
                                                reinterpret_cast<BYTE*>(out)));
    }

    // Its decoder's picture, held whole by Wine's decoders, and its file.
    std::size_t Bytes() const override {
        return static_cast<std::size_t>(size_.width) * static_cast<std::size_t>(size_.height) * 4 + bytes_.size();
    }

private:
    bool Open() const {
        frame_ = OpenFrame(factory_.get(), bytes_);
        UINT width = 0, height = 0;
        if (frame_.frame && SUCCEEDED(frame_.frame->GetSize(&width, &height)) &&
            width == static_cast<UINT>(size_.width) && height == static_cast<UINT>(size_.height))
            converter_ = ToPremultipliedBgra(factory_.get(), frame_.frame.get());
        if (!converter_) Close();
        return static_cast<bool>(converter_);
    }
    void Close() const {
        converter_.reset();
        frame_ = {};
    }

    ModuleHandle codecs_;
    ComPtr<IWICImagingFactory> factory_;
    const std::string bytes_;
    const PixelSize size_;
    mutable WicFrame frame_;
    mutable ComPtr<IWICFormatConverter> converter_;
};

Decoded WinPictureWorker::Decode(std::string_view bytes, const DecodeLimits& limits) {
    Decoded d;
    auto failed = [&](PictureFailure why) {
        d.failure = why;
        return d;
    };
    if (!factory_) return failed(PictureFailure::NoDecoder);
    const PictureFormat format = SniffPictureFormat(bytes);
    const int orientation = format == PictureFormat::Jpeg ? JpegOrientation(bytes) : 1;
    // A long picture (a JPEG, or a PNG not read from its file) keeps its
    // natural size and is read from WIC's decoder as it is drawn, not copied
    // out of it scaled down. Its size is read from the file first, so that
    // its decoder is made only in its turn; reading its last row checks it.
    std::optional<PixelSize> stored;
    if (format == PictureFormat::Jpeg) {
        stored = JpegSize(bytes);
    } else if (const auto png = ReadPngHeader(bytes)) {
        stored = PixelSize{png->width, png->height};
    }
    if (orientation == 1 && stored && ReadsAsDrawn(*stored, limits)) {
        auto rows = std::make_shared<WicRows>(ComPtr<IWICImagingFactory>::Share(factory_), bytes, *stored);
        std::vector<std::uint32_t> last(static_cast<std::size_t>(stored->width));
        if (!rows->Read(stored->height - 1, 1, last.data())) return failed(PictureFailure::Undecodable);
        auto picture = std::make_shared<Picture>();
        picture->width = stored->width;
        picture->height = stored->height;
        picture->rows = std::move(rows);
        d.natural = *stored;
        d.pixels = std::move(picture);
        return d;
    }
    WicFrame opened = OpenFrame(factory_.get(), bytes);
    // No decoder for the format here (WebP on Wine and on Windows without its codec).
    if (opened.hr == WINCODEC_ERR_COMPONENTNOTFOUND) return failed(PictureFailure::NoDecoder);
    UINT width = 0, height = 0;
    if (!opened.frame || FAILED(opened.frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return failed(PictureFailure::Undecodable);

    const PixelSize size{static_cast<int>(width), static_cast<int>(height)};
    const PixelSize natural = OrientedSize(size, orientation);
    const auto fitted = FitDecodedSize(natural, limits);
    if (!fitted) return failed(PictureFailure::TooManyPixels);
    const PixelSize target = OrientedSize(*fitted, orientation);  // back to the stored orientation

    ComPtr<IWICFormatConverter> converter = ToPremultipliedBgra(factory_.get(), opened.frame.get());
    if (!converter) return failed(PictureFailure::Undecodable);
    auto picture = std::make_shared<Picture>();
    picture->width = target.width;
    picture->height = target.height;
    ComPtr<IWICBitmapSource> source = ComPtr<IWICBitmapSource>::Share(converter);
    if (!(target == size)) {
        // Scaled while decoding, so a huge picture never exists at full size in our memory.
        ComPtr<IWICBitmapScaler> scaler;
        if (FAILED(factory_->CreateBitmapScaler(scaler.put())) ||
            FAILED(scaler->Initialize(converter.get(), static_cast<UINT>(target.width),
                                      static_cast<UINT>(target.height), WICBitmapInterpolationModeFant)))
            return failed(PictureFailure::Undecodable);
        source = ComPtr<IWICBitmapSource>::Share(scaler);
    }
    picture->pixels.resize(static_cast<std::size_t>(target.width) * static_cast<std::size_t>(target.height));
    // In bands of rows: Wine's scaler reads the whole source area of what is
    // asked in one piece, which for all of a 30,000 x 30,000 picture is 3.6 GB.
    const UINT stride = static_cast<UINT>(target.width) * 4;
    constexpr int kBandRows = 16;
    for (int y = 0; y < target.height; y += kBandRows) {
        const int rows = std::min(kBandRows, target.height - y);
        const WICRect band{0, y, target.width, rows};
        if (FAILED(source->CopyPixels(&band, stride, stride * static_cast<UINT>(rows),
                                      reinterpret_cast<BYTE*>(picture->pixels.data() +
                                                              static_cast<std::size_t>(y) * target.width))))
            return failed(PictureFailure::Undecodable);
    }
    if (orientation != 1) *picture = Oriented(*picture, orientation);
    d.natural = natural;
    d.pixels = std::move(picture);
    return d;
}

// ---- The disk cache's folder ------------------------------------------------------

class FolderPictureStore : public PictureStore {
public:
    explicit FolderPictureStore(std::string folder) : folder_(std::move(folder)) {}

    std::vector<File> List() override {
        std::vector<File> files;
        WIN32_FIND_DATAW data;
        const FindHandle find(FindFirstFileW(Wide(JoinPath(folder_, "*")).c_str(), &data));
        if (!find) return files;
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            ULARGE_INTEGER written{};
            written.LowPart = data.ftLastWriteTime.dwLowDateTime;
            written.HighPart = data.ftLastWriteTime.dwHighDateTime;
            constexpr std::uint64_t kFileTimeAt1970 = 116444736000000000ull;  // in 100 ns steps
            const auto seconds = written.QuadPart > kFileTimeAt1970
                                     ? static_cast<std::int64_t>((written.QuadPart - kFileTimeAt1970) / 10000000)
                                     : 0;
            files.push_back({Narrow(data.cFileName),
                             (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, seconds});
        } while (FindNextFileW(find.get(), &data));
        return files;
    }

    std::optional<std::string> Read(const std::string& name) override {
        return ReadWholeFile(JoinPath(folder_, name));
    }

    bool Write(const std::string& name, std::string_view bytes) override {
        // The folder and its parents are made with the first picture. The
        // flag is set only once the whole chain stands: workers write at the
        // same time, and one that saw it set after the first level wrote
        // into a folder that was not there yet (its picture never reached
        // the disk).
        if (!folderMade_) {
            bool made = false;
            for (std::size_t pos = folder_.find('\\', 3);; pos = folder_.find('\\', pos + 1)) {
                made = CreateFolder(folder_.substr(0, pos));
                if (pos == std::string::npos) break;
            }
            if (made) folderMade_ = true;
        }
        return WriteWholeFile(JoinPath(folder_, name), bytes);
    }

    void Remove(const std::string& name) override { RemoveFile(JoinPath(folder_, name)); }

private:
    std::string folder_;
    std::atomic<bool> folderMade_{false};
};

}  // namespace

WinPictureBackend::WinPictureBackend() {
    // Pictures of a page mostly come from one host; WinINet's default of a
    // few connections per server would queue the workers behind each other.
    DWORD connections = 8;
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections, sizeof connections);
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections, sizeof connections);
}

void WinPictureBackend::SetNotifyWindow(HWND window, UINT message) {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
    message_ = message;
}

std::unique_ptr<PictureWorker> WinPictureBackend::StartWorker() { return std::make_unique<WinPictureWorker>(); }

bool WinPictureBackend::Notify() {
    std::lock_guard<std::mutex> lock(mutex_);
    return window_ && PostMessageW(window_, message_, 0, 0);
}

std::string DefaultPictureFolder() {
    const std::string folder = UserDataFolder();
    return folder.empty() ? folder : JoinPath(folder, "pictures");
}

std::shared_ptr<PictureStore> OpenPictureFolder(const std::string& folder) {
    if (folder.empty()) return nullptr;
    return std::make_shared<FolderPictureStore>(folder);
}

}  // namespace mojian::html
