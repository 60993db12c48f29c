#include "filedlg.h"
#include <cstring>

namespace cl {

std::vector<std::pair<std::string, std::string>> FilterPairs(const std::string &filter)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filter.size()) {
        size_t bar = filter.find('|', start);
        if (bar == std::string::npos) bar = filter.size();
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) break;   /* the closing "||" */
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

std::string ConvertFilter(const std::string &filter)
{
    std::string out;
    for (const auto &p : FilterPairs(filter)) {
        out += p.first;
        out += '\0';
        out += p.second;
        out += '\0';
    }
    if (!out.empty()) out += '\0';
    return out;
}

CFileDialog::CFileDialog(bool open, const char *defExt, const char *fileName, DWORD flags, const char *filter,
                         HWND owner)
    : open_(open), defExt_(defExt ? defExt : ""), filter_(ConvertFilter(filter ? filter : "")),
      buffer_((flags & OFN_ALLOWMULTISELECT) ? 65536 : MAX_PATH, '\0')
{
    if (fileName) lstrcpynA(buffer_.data(), fileName, (int)buffer_.size());
    ofn_.lStructSize = sizeof(ofn_);
    ofn_.hwndOwner = owner;
    ofn_.Flags = flags | OFN_HIDEREADONLY | OFN_EXPLORER | (open ? OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST : 0);
}

const OPENFILENAMEA &CFileDialog::Ofn()
{
    ofn_.lpstrFilter = filter_.empty() ? nullptr : filter_.data();
    ofn_.nFilterIndex = 1;
    ofn_.lpstrFile = buffer_.data();
    ofn_.nMaxFile = (DWORD)buffer_.size();
    ofn_.lpstrDefExt = defExt_.empty() ? nullptr : defExt_.c_str();
    ofn_.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn_.lpstrInitialDir = initialDir_.empty() ? nullptr : initialDir_.c_str();
    return ofn_;
}

INT_PTR CFileDialog::DoModal()
{
    Ofn();
    BOOL ok = open_ ? GetOpenFileNameA(&ofn_) : GetSaveFileNameA(&ofn_);
    paths_.clear();
    path_.clear();
    if (!ok) return IDCANCEL;
    const char *p = buffer_.data();
    if ((ofn_.Flags & OFN_ALLOWMULTISELECT) && ofn_.nFileOffset > 0 && p[ofn_.nFileOffset - 1] == '\0') {
        std::string dir = p;
        for (const char *f = p + ofn_.nFileOffset; *f; f += strlen(f) + 1)
            paths_.push_back(dir + (dir.back() == '\\' ? "" : "\\") + f);
    } else {
        paths_.push_back(p);
    }
    path_ = paths_.empty() ? std::string() : paths_.front();
    return IDOK;
}

INT_PTR CColorDialog::DoModal()
{
    CHOOSECOLORA cc = {};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = owner_;
    cc.rgbResult = color_;
    cc.lpCustColors = custom_;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&cc)) return IDCANCEL;
    color_ = cc.rgbResult;
    return IDOK;
}

} // namespace cl
