// The table of commands: a new command is a file of its own and a row here.
#include "cli/Cli.h"

namespace mojian::cli {

int RunBlocks(const std::vector<std::string>& args, Output& out);
int RunImport(const std::vector<std::string>& args, Output& out);
int RunList(const std::vector<std::string>& args, Output& out);
int RunPage(const std::vector<std::string>& args, Output& out);
int RunCheck(const std::vector<std::string>& args, Output& out);
int RunMobile(const std::vector<std::string>& args, Output& out);

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"blocks", "列出九十个内置模块或我的模块",
         "用法：mojian blocks [--mine]\n\n"
         "按种类和样式的顺序列出九十个内置模块的名称（栏目文字-炫黑、图片展示-样式3……），每行一个。\n"
         "--mine 改为列出保存的“我的模块”（%LOCALAPPDATA%\\墨笺\\我的模块），按名称排列，每行一个：\n"
         "名称、来源、保存时间、代码大小，以制表符隔开；损坏的文件写明损坏的原因。\n",
         RunBlocks},
        {"import", "把已有的描述导入成排版文件",
         "用法：mojian import 文件 [-o 排版文件]\n\n"
         "把一份已有的商品描述（GBK、UTF-8 或带 BOM 的 UTF-16 编码的 HTML）切成模块：与内置模块一字不差的部分\n"
         "成为内置模块，其余部分成为自定义源码。结果写进排版文件（.mojian），并列出排版列表的每一行。\n"
         "不给 -o 时写到描述旁边同名的 .mojian 文件，已有这个文件时不覆盖。\n"
         "复制出的代码与原文一字不差；原文末尾没有换行（回车换行）时会补上一个。\n",
         RunImport},
        {"list", "列出排版文件的每一行",
         "用法：mojian list 排版文件\n\n按顺序列出排版文件（.mojian）里排版列表的每一行，每行一个模块名称。\n",
         RunList},
        {"page", "写出排版文件的页面代码",
         "用法：mojian page 排版文件 [-o 输出文件] [--encoding gbk|utf-8]\n\n"
         "写出排版文件的页面代码，与墨笺“复制代码”放到粘贴板上的代码相同。\n"
         "默认用 GBK 编码（与墨笺的文件一样），--encoding utf-8 改用 UTF-8；不给 -o 时写到标准输出。\n",
         RunPage},
        {"check", "检查页面能否发布",
         "用法：mojian check 文件|排版文件 [--width 750|790] [--json]\n\n"
         "按淘宝详情页的规则检查一个排版文件（.mojian），或一份描述（先像导入那样切成排版列表的行）：\n"
         "脚本、事件属性、画出来超过描述宽度的内容、没改的占位文字和图片、页面字数等。\n"
         "--width 是描述区的宽度：750（淘宝，默认）或 790（天猫）；不给时用排版文件里设定的宽度。\n"
         "每条结果写明是第几行的哪个模块、在它代码里的第几行第几列，以及怎么改；最后一行是字数和错误、提示的个数。\n"
         "--json 改为输出 JSON。退出状态：没有错误为 0，有错误为 1，文件无法检查为 2。\n",
         RunCheck},
        {"mobile", "把页面做成手机详情的图片和热区（Windows）",
         "用法：mojian mobile 文件|排版文件 -o 文件夹 [--width 750|1242] [--page-width 750|790]\n"
         "                   [--format auto|jpg|png] [--max-height 像素] [--allow-broken]\n\n"
         "把一个排版文件（.mojian）或一份描述（先像导入那样切成排版列表的行）的整页画成图片，切成手机详情用的\n"
         "01.jpg、02.jpg……，连同 热区.json（每张图上链接的位置）、说明.txt 和总览图 总览.jpg 写进 -o 给出的新文件夹；\n"
         "已有这个文件夹时不覆盖。\n"
         "以 <!DOCTYPE 开头的文件是整个网页（如邮件），不切成行，像浏览器那样按它的文档类型和默认页边距来画。\n"
         "--width 是图片宽度：750（默认）或 1242（更清晰）；--page-width 是描述区的宽度：750（淘宝）或 790（天猫），\n"
         "不给时用排版文件里设定的宽度；--format 选图片格式，auto（默认）为每张图选更合适的 JPG 或 PNG；\n"
         "--max-height 是每张图的最大高度（像素），不超过规则允许的高度。\n"
         "有图片载入不了时不生成；加 --allow-broken 则用破图框代替它们继续。\n"
         "退出状态：全部做成为 0；做成了但有内容没能带上（链接、载入不了的图片、从中间切开的文字）为 1；\n"
         "什么也没生成为 2。只能在 Windows 上运行。\n",
         RunMobile},
    };
    return commands;
}

}  // namespace mojian::cli
