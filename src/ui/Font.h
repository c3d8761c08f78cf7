// A GDI font made from a face name and a size in points, owned for the lifetime of
// the object; controls keep a pointer to the font they were given.
#pragma once

#include <windows.h>

#include <string>

namespace oru {

// A hint for when the face is not installed: the substitute keeps the pitch.
enum class TFontPitch { fpDefault, fpFixed, fpVariable };

class TFont {
public:
    TFont(const std::string& name, int points, TFontPitch pitch = TFontPitch::fpDefault);
    ~TFont();
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;

    HFONT Handle() const { return handle_; }
    const std::string& Name() const { return name_; }
    int Points() const { return points_; }

private:
    std::string name_;
    int points_;
    HFONT handle_;
};

} // namespace oru
