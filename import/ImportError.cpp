#include "import/ImportError.h"

namespace mojian::import {

std::string_view ImportErrorText(ImportErrorKind kind) {
    switch (kind) {
    case ImportErrorKind::CannotRead:
        return "无法读取这个文件：文件不存在、正被其他程序占用，或没有读取的权限。";
    case ImportErrorKind::TooLarge:
        return "要导入的描述超过 10 MB，不像是一件商品的描述，没有导入。";
    case ImportErrorKind::Empty:
        return "要导入的描述是空的（或只有空白），没有导入。";
    case ImportErrorKind::NotText:
        return "这不是文本文件（像是图片、压缩包或其他程序的文件），没有导入。";
    case ImportErrorKind::NulCharacter:
        return "描述里含有空字符（NUL），网页和粘贴板都容不下它，没有导入。请在文本编辑器里删去它后再导入。";
    case ImportErrorKind::Truncated:
        return "描述的最后一个字符不完整，文件可能没有保存完，或在复制时被截断了，没有导入。";
    case ImportErrorKind::InvalidText:
        return "描述里有无法识别的文字（既不是 UTF-8 也不是 GBK 编码），没有导入。请在文本编辑器里另存为 UTF-8 后再导入。";
    case ImportErrorKind::TooManyLines:
        return "描述切分后超过 32767 行，排版列表放不下，没有导入。";
    case ImportErrorKind::NoCustomNumbers:
        return "本次运行的 100 个自定义源码编号已经用完，这份描述至少还要 1 个，没有导入。请先新建排版（或保存后重新打开）再导入。";
    }
    return "这份描述无法导入。";
}

std::string ImportErrorMessage(const ImportError& error) {
    std::string message(ImportErrorText(error.kind));
    if (!error.detail.empty()) message += "\r\n（" + error.detail + "）";
    return message;
}

}  // namespace mojian::import
