#include "ui/Controls.h"

#include <vector>

namespace netrefit {

std::string WindowText(HWND window) {
    if (window == nullptr) {
        return std::string();
    }
    int length = ::GetWindowTextLengthA(window);
    std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1);
    int copied = ::GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

int ListView::InsertColumn(int column, const std::string& text, int width, int format) const {
    LVCOLUMNA info = {};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = format;
    info.cx = width;
    info.pszText = const_cast<char*>(text.c_str());
    info.iSubItem = column;
    return static_cast<int>(Send(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
}

int ListView::ClientWidth() const {
    RECT client = {};
    ::GetClientRect(Window(), &client);
    return client.right - client.left;
}

void ListView::SetSmallImages(ImageList& images) const {
    HIMAGELIST previous = reinterpret_cast<HIMAGELIST>(
        Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images.get())));
    images.release();
    if (previous) {
        ::ImageList_Destroy(previous);
    }
}

int ListView::InsertItem(int row, const std::string& text, int image) const {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = const_cast<char*>(text.c_str());
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int row, int column, const std::string& text) const {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    return Send(LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::string ListView::ItemText(int row, int column) const {
    char buffer[512] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof(buffer);
    LRESULT length = Send(LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return std::string(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

int ListView::ItemImage(int row) const {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return -1;
    }
    return item.iImage;
}

bool ListView::SetItemImage(int row, int image) const {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return false;
    }
    item.iImage = image;
    return Send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

}  // namespace netrefit
