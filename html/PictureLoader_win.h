// The picture loader's Windows side: WinINet downloads, local files, WIC
// decoding, the disk cache folder and the notice posted to the owner window.
//
// How the view uses it (all on the GUI thread):
//
//   auto backend = std::make_shared<WinPictureBackend>();
//   backend->SetNotifyWindow(hwnd, kPicturesChanged);       // a WM_APP message
//   PictureLoader loader({}, backend, OpenPictureFolder(DefaultPictureFolder()));
//   ... layout calls loader.Query(src), painting loader.Pixels(src) ...
//   case kPicturesChanged: for (auto& src : loader.TakeChanged()) ...; relayout and repaint
//   case WM_DESTROY: backend->SetNotifyWindow(nullptr, 0); then destroy the loader
//
// The message carries nothing (wParam and lParam are 0); at most one is
// waiting at a time, and the next comes only after TakeChanged().
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "html/PictureDiskCache.h"
#include "html/PictureLoader.h"

namespace mojian::html {

class WinPictureBackend : public PictureBackend {
public:
    WinPictureBackend();
    // Any thread; a null window stops the notices.
    void SetNotifyWindow(HWND window, UINT message);

    std::unique_ptr<PictureWorker> StartWorker() override;
    bool Notify() override;

private:
    std::mutex mutex_;
    HWND window_ = nullptr;
    UINT message_ = 0;
};

// "pictures" in the user's folder of the program (UserDataFolder), or empty
// when there is none. Made when the first picture is written.
std::string DefaultPictureFolder();

// The disk cache's files in `folder` (UTF-8); null for an empty folder name.
std::shared_ptr<PictureStore> OpenPictureFolder(const std::string& folder);

}  // namespace mojian::html
