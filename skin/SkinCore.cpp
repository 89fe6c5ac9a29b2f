#include "skin/SkinCore.h"

#include <array>
#include <cmath>

namespace mojian::skin {

namespace {

struct NamedGroup {
    std::string_view name;
    ClassGroup group;
};

constexpr std::array kGroups{
    NamedGroup{"#32770", ClassGroup::Form},
    NamedGroup{"thunderformdc", ClassGroup::Form},
    NamedGroup{"thunderrt6formdc", ClassGroup::Form},
    NamedGroup{"form", ClassGroup::Form},
    NamedGroup{"thundercommandbutton", ClassGroup::PushButton},
    NamedGroup{"thunderrt6commandbutton", ClassGroup::PushButton},
    NamedGroup{"thundercombobox", ClassGroup::Combo},
    NamedGroup{"thunderrt6combobox", ClassGroup::Combo},
    NamedGroup{"combo", ClassGroup::Combo},
    NamedGroup{"combobox", ClassGroup::Combo},
    NamedGroup{"thunderdrivelistbox", ClassGroup::DriveList},
    NamedGroup{"thunderrt6drivelistbox", ClassGroup::DriveList},
    NamedGroup{"thundercheckbox", ClassGroup::CheckBox},
    NamedGroup{"thunderrt6checkbox", ClassGroup::CheckBox},
    NamedGroup{"thunderoptionbutton", ClassGroup::Option},
    NamedGroup{"thunderrt6optionbutton", ClassGroup::Option},
    NamedGroup{"progressbar20wndclass", ClassGroup::Progress},
    NamedGroup{"progressbarwndclass", ClassGroup::Progress},
    NamedGroup{"msvb_lib_header", ClassGroup::Header},
    NamedGroup{"sysheader32", ClassGroup::Header},
    NamedGroup{"datalistwndclass", ClassGroup::DataList},
    NamedGroup{"dblistwndclass", ClassGroup::DataList},
    NamedGroup{"combolbox", ClassGroup::DropDownList},
};

ClassGroup GroupOfNativeButton(std::uint32_t style) {
    switch (style & 0x0F) {
    case 0x0:  // BS_PUSHBUTTON
    case 0x1:  // BS_DEFPUSHBUTTON
        return ClassGroup::PushButton;
    case 0x4:  // BS_RADIOBUTTON
    case 0x9:  // BS_AUTORADIOBUTTON
        return ClassGroup::Option;
    case 0x2:  // BS_CHECKBOX
    case 0x3:  // BS_AUTOCHECKBOX
    case 0x5:  // BS_3STATE
    case 0x6:  // BS_AUTO3STATE
        return ClassGroup::CheckBox;
    default:  // group box, owner-drawn, user button, split buttons, command links
        return ClassGroup::Other;
    }
}

}  // namespace

ClassGroup GroupOfClass(std::string_view lowerClass, std::uint32_t style) {
    if (lowerClass == "button") return GroupOfNativeButton(style);
    for (const auto& g : kGroups) {
        if (g.name == lowerClass) return g.group;
    }
    // The program's own forms ("MojianForm1", "Mojian.Form1" and their kin);
    // its frames are containers, reached through their form.
    if (lowerClass.starts_with("mojian.") || lowerClass.starts_with("mojianform")) return ClassGroup::Form;
    if (lowerClass.starts_with("apexgrid")) return ClassGroup::Grid;
    return ClassGroup::Other;
}

int HalfToEven(int v) {
    const int lo = v >= 0 ? v / 2 : (v - 1) / 2;  // floor(v / 2)
    if (v % 2 == 0) return lo;
    return lo % 2 == 0 ? lo : lo + 1;
}

int RoundHalfEven(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    double r = f;
    if (diff > 0.5) {
        r = f + 1;
    } else if (diff == 0.5) {
        r = std::fmod(f, 2.0) == 0 ? f : f + 1;
    }
    return static_cast<int>(r);
}

Borders BorderWidthsFrom(int windowWidth, int windowHeight, int clientWidth, int clientHeight,
                         int vscrollWidth, int hscrollHeight) {
    const int ex = windowWidth - clientWidth - vscrollWidth;
    const int ey = windowHeight - clientHeight - hscrollHeight;
    return {HalfToEven(ex), HalfToEven(ey)};
}


bool OverDropButton(int x, int y, int w, int h, int scrollWidth) {
    return !(x < w - scrollWidth - 2 || x > w - 2 || y < 2 || y > h - 2);
}

int BarLength(int position, int extent) {
    return RoundHalfEven(static_cast<double>(extent) * position / ProgressFullScale);
}

int HeaderHit(const Span* items, int count, int x) {
    for (int i = 0; i < count; ++i) {
        if (items[i].left <= x && x <= items[i].right) return i;
    }
    return -1;
}

}  // namespace mojian::skin
