// The texts the gates and the contact buttons show (UTF-16 for the boxes).
#pragma once

namespace mojian::gate_texts {

inline constexpr const wchar_t* kAlreadyRunning = L"程序已经运行,不能再次装载！";
inline constexpr const wchar_t* kAlreadyRunningTitle = L"提示";
inline constexpr const wchar_t* kNoNetwork = L"网络未连接，程序将退出！";
inline constexpr const wchar_t* kNotice = L"温馨提示";
inline constexpr const wchar_t* kOutdated = L"版本已过期，请下载最新版本使用";
inline constexpr const wchar_t* kOutdatedTitle = L"更新提示";
// When the service cannot tell us what we need: say so, and carry on.
inline constexpr const wchar_t* kVersionUnchecked = L"暂时无法连接服务器，未能检查程序版本，程序将照常启动。";
inline constexpr const wchar_t* kNoDownloadAddress = L"未能获取新版本的下载地址，请稍后再试。";
inline constexpr const wchar_t* kNoContactAddress = L"未能获取联系地址，请检查网络后再试。";

}  // namespace mojian::gate_texts
