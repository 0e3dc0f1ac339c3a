#include "support/DialogTemplate.h"

#include <cstring>
#include <cwctype>

namespace
{
// A little-endian reader over the template's words.
class TemplateReader
{
  public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }

    uint16_t Word()
    {
        uint16_t value = 0;
        Take(&value, sizeof(value));
        return value;
    }
    uint32_t Dword()
    {
        uint32_t value = 0;
        Take(&value, sizeof(value));
        return value;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    uint8_t Byte()
    {
        uint8_t value = 0;
        Take(&value, sizeof(value));
        return value;
    }

    std::wstring String()
    {
        std::wstring text;
        for (uint16_t c = Word(); ok_ && c != 0; c = Word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }

    // A name or an ordinal (0xFFFF followed by the number); ordinals come back as "#n".
    std::wstring NameOrOrdinal()
    {
        const uint16_t first = Word();
        if (first == 0)
            return L"";
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text(1, static_cast<wchar_t>(first));
        return text + String();
    }

    void AlignToDword() { offset_ = (offset_ + 3) & ~size_t{3}; }
    void Skip(size_t bytes) { offset_ += bytes; }

  private:
    void Take(void* out, size_t bytes)
    {
        if (offset_ + bytes > size_)
        {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + offset_, bytes);
        offset_ += bytes;
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

std::wstring PredefinedClass(const std::wstring& name)
{
    if (name == L"#128")
        return L"BUTTON";
    if (name == L"#129")
        return L"EDIT";
    if (name == L"#130")
        return L"STATIC";
    if (name == L"#131")
        return L"LISTBOX";
    if (name == L"#132")
        return L"SCROLLBAR";
    if (name == L"#133")
        return L"COMBOBOX";
    std::wstring upper = name;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    return upper;
}
} // namespace

std::optional<DialogTemplate> LoadDialogTemplate(HMODULE module, int id)
{
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!resource)
        return std::nullopt;
    const HGLOBAL loaded = LoadResource(module, resource);
    const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
    if (!data)
        return std::nullopt;
    TemplateReader reader(data, SizeofResource(module, resource));

    const uint16_t version = reader.Word();
    const uint16_t signature = reader.Word();
    if (version != 1 || signature != 0xFFFF)
        return std::nullopt;
    DialogTemplate dialog;
    reader.Dword(); // help id
    reader.Dword(); // extended style
    dialog.style = reader.Dword();
    const uint16_t count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.width = reader.Short();
    dialog.height = reader.Short();
    reader.NameOrOrdinal(); // menu
    reader.NameOrOrdinal(); // window class
    dialog.caption = reader.String();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT))
    {
        dialog.pointSize = reader.Word();
        dialog.weight = reader.Word();
        reader.Byte(); // italic
        reader.Byte(); // character set
        dialog.typeface = reader.String();
    }
    for (uint16_t i = 0; i < count && reader.Ok(); ++i)
    {
        reader.AlignToDword();
        DialogTemplateItem item;
        reader.Dword(); // help id
        reader.Dword(); // extended style
        item.style = reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.width = reader.Short();
        item.height = reader.Short();
        item.id = reader.Dword();
        item.className = PredefinedClass(reader.NameOrOrdinal());
        item.text = reader.NameOrOrdinal();
        reader.Skip(reader.Word()); // creation data
        dialog.items.push_back(item);
    }
    if (!reader.Ok())
        return std::nullopt;
    return dialog;
}
