// Fetching with WinINet and from files, decoding with WIC, the disk cache's
// folder, and the notice to the owner window.
#include "html/PictureLoader_win.h"

#include <wincodec.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <utility>

#include "base/File.h"
#include "base/Scoped_win.h"
#include "base/UserFolder.h"
#include "base/Utf_win.h"
#include "html/PictureOrientation.h"

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

Decoded WinPictureWorker::Decode(std::string_view bytes, const DecodeLimits& limits) {
    Decoded d;
    auto failed = [&](PictureFailure why) {
        d.failure = why;
        return d;
    };
    if (!factory_) return failed(PictureFailure::NoDecoder);
    ComPtr<IWICStream> stream;
    if (FAILED(factory_->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size()))))
        return failed(PictureFailure::Undecodable);
    ComPtr<IWICBitmapDecoder> decoder;
    const HRESULT hr =
        factory_->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put());
    // No decoder for the format here (WebP on Wine and on Windows without its codec).
    if (hr == WINCODEC_ERR_COMPONENTNOTFOUND) return failed(PictureFailure::NoDecoder);
    if (FAILED(hr)) return failed(PictureFailure::Undecodable);
    ComPtr<IWICBitmapFrameDecode> frame;  // the first frame of an animated GIF
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return failed(PictureFailure::Undecodable);

    const int orientation = SniffPictureFormat(bytes) == PictureFormat::Jpeg ? JpegOrientation(bytes) : 1;
    const PixelSize stored{static_cast<int>(width), static_cast<int>(height)};
    const PixelSize natural = OrientedSize(stored, orientation);
    const auto fitted = FitDecodedSize(natural, limits);
    if (!fitted) return failed(PictureFailure::TooManyPixels);
    const PixelSize target = OrientedSize(*fitted, orientation);  // back to the stored orientation

    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return failed(PictureFailure::Undecodable);
    ComPtr<IWICBitmapSource> source = ComPtr<IWICBitmapSource>::Share(converter);
    if (!(target == stored)) {
        // Scaled while decoding, so a huge picture never exists at full size in our memory.
        ComPtr<IWICBitmapScaler> scaler;
        if (FAILED(factory_->CreateBitmapScaler(scaler.put())) ||
            FAILED(scaler->Initialize(converter.get(), static_cast<UINT>(target.width),
                                      static_cast<UINT>(target.height), WICBitmapInterpolationModeFant)))
            return failed(PictureFailure::Undecodable);
        source = ComPtr<IWICBitmapSource>::Share(scaler);
    }
    auto picture = std::make_shared<Picture>();
    picture->width = target.width;
    picture->height = target.height;
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
