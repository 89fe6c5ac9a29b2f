// The resource owners: each gives back what it holds exactly once, through
// moves, resets and release, checked on real GDI and kernel objects.
#include "base/Scoped_win.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace mojian {
namespace {

// Notes every handle it is asked to free.
struct CountingTraits {
    using Handle = int;
    static int None() { return 0; }
    static bool Valid(int h) { return h != 0; }
    static void Free(int h) { freed().push_back(h); }
    static std::vector<int>& freed() {
        static std::vector<int> list;
        return list;
    }
};
using Counted = ScopedHandle<CountingTraits>;

TEST(ScopedHandle, FreesEachHandleOnceThroughMovesResetsAndRelease) {
    auto& freed = CountingTraits::freed();
    freed.clear();
    {
        Counted a(1);
        Counted b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 1);
        Counted c(2);
        c = std::move(b);  // 2 goes, 1 moves in
        EXPECT_EQ(freed, std::vector<int>{2});
        auto& self = c;
        c = std::move(self);  // moving onto itself keeps it
        EXPECT_EQ(c.get(), 1);
        c.reset(1);  // the same handle again: nothing to free
        c.reset(3);
        EXPECT_EQ(freed, (std::vector<int>{2, 1}));
        Counted d(4);
        EXPECT_EQ(d.release(), 4);  // given away: never freed here
        Counted none;
        EXPECT_FALSE(none);
    }
    EXPECT_EQ(freed, (std::vector<int>{2, 1, 3}));
}

TEST(ScopedHandle, GdiObjectsAndContextsAreDeletedWithTheirOwner) {
    HBRUSH brush = nullptr;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    {
        Brush owner(CreateSolidBrush(RGB(1, 2, 3)));
        brush = owner.get();
        ASSERT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
        Brush moved(std::move(owner));
        EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));  // still alive in its new owner
        OwnedDc memory = CreateMemoryDc();
        dc = memory.get();
        ASSERT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
        Surface surface(std::move(memory), Bitmap(CreateCompatibleBitmap(dc, 8, 8)));
        bitmap = surface.bitmap();
        ASSERT_TRUE(surface);
        EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_BITMAP), bitmap);
        {
            const Selection select(surface.dc(), brush);
            EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_BRUSH), brush);
        }
        EXPECT_NE(GetCurrentObject(surface.dc(), OBJ_BRUSH), brush);  // the old brush is back
    }
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(GetObjectType(dc), 0u);
    EXPECT_EQ(GetObjectType(bitmap), 0u);
}

TEST(ScopedHandle, KernelHandlesAreClosedAndInvalidOnesLeftAlone) {
    HANDLE raw = nullptr;
    {
        KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(raw, &flags));
        KernelHandle file(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(file);
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

TEST(ScopedHandle, BorrowedContextsAndPaintingGiveBackWhatTheyTook) {
    ClientDc screen(nullptr);
    ASSERT_TRUE(screen);
    ClientDc moved(std::move(screen));
    EXPECT_FALSE(screen);
    EXPECT_TRUE(moved);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Mojian.ScopedTest";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 100, 80, nullptr, nullptr, wc.hInstance,
                                nullptr);
    ASSERT_NE(hwnd, nullptr);
    {
        const PaintDc paint(hwnd);
        EXPECT_NE(paint.get(), nullptr);
    }
    {
        WindowDc whole(hwnd);
        EXPECT_TRUE(whole);
    }
    DestroyWindow(hwnd);
}

// An object that counts its references.
class Counter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
    int refs = 1;
};

TEST(ComPtr, HoldsOneReferenceAndGivesItBackOnce) {
    Counter object;
    {
        ComPtr<Counter> p(&object);  // takes over the reference the object starts with
        ComPtr<Counter> q(std::move(p));
        EXPECT_FALSE(p);
        EXPECT_EQ(object.refs, 1);
        Counter other;
        ComPtr<Counter> r(&other);
        r = std::move(q);
        EXPECT_EQ(other.refs, 0);
        EXPECT_EQ(object.refs, 1);
        Counter** slot = r.put();  // a function handing out a reference lets the old one go first
        EXPECT_EQ(object.refs, 0);
        object.AddRef();
        *slot = &object;
    }
    EXPECT_EQ(object.refs, 0);
}

// An object seen through a derived interface, shared as its base.
struct DerivedCounter : Counter {};

TEST(ComPtr, SharesAReferenceAsABaseInterface) {
    DerivedCounter object;
    {
        ComPtr<DerivedCounter> derived(&object);
        ComPtr<Counter> base = ComPtr<Counter>::Share(derived);
        EXPECT_EQ(object.refs, 2);
        EXPECT_EQ(base.get(), &object);
        EXPECT_FALSE(ComPtr<Counter>::Share(ComPtr<DerivedCounter>()));
    }
    EXPECT_EQ(object.refs, 0);
}

TEST(ScopedHandle, SavedContextsFolderSearchesAndInternetHandles) {
    OwnedDc dc = CreateMemoryDc();
    const int before = SaveDC(dc.get());
    RestoreDC(dc.get(), before);
    {
        const SaveDc saved(dc.get());
        SetTextColor(dc.get(), RGB(1, 2, 3));
    }
    EXPECT_NE(GetTextColor(dc.get()), RGB(1, 2, 3));  // the state came back
    WIN32_FIND_DATAW data;
    {
        const FindHandle none(FindFirstFileW(L"C:\\no such folder\\*", &data));
        EXPECT_FALSE(none);  // INVALID_HANDLE_VALUE is nothing to close
        const FindHandle found(FindFirstFileW(L"C:\\windows\\*", &data));
        EXPECT_TRUE(found);
    }
    InternetHandle session(InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    const HINTERNET raw = session.get();
    session.reset();
    DWORD type = 0, size = sizeof type;
    EXPECT_FALSE(InternetQueryOptionW(raw, INTERNET_OPTION_HANDLE_TYPE, &type, &size));  // closed
}

TEST(Bstr, HoldsTextFromUtf8AndVariantsClearWhatTheyHold) {
    const Bstr text = Bstr::FromUtf8("中文ab");
    ASSERT_NE(text.get(), nullptr);
    EXPECT_EQ(SysStringLen(text.get()), 4u);
    EXPECT_EQ(std::wstring(text.get()), L"中文ab");
    Variant v;
    v.get().vt = VT_BSTR;
    v.get().bstrVal = SysAllocString(L"x");
    Variant moved(std::move(v));
    EXPECT_EQ(v.get().vt, VT_EMPTY);
    EXPECT_EQ(moved.get().vt, VT_BSTR);
    Bstr a(L"a");
    Bstr b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(std::wstring(b.get()), L"a");
}

}  // namespace
}  // namespace mojian
