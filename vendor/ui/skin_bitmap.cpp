#include "vendor/ui/skin_bitmap.h"

#include <wx/mstream.h>

#include "vendor/ui/embedded_art.h"

const EmbeddedPicture* FindEmbeddedPicture(int id) {
    for (int i = 0; i < kEmbeddedPictureCount; ++i) {
        if (kEmbeddedPictures[i].id == id) return &kEmbeddedPictures[i];
    }
    return nullptr;
}

wxImage LoadArtImage(int id) {
    const EmbeddedPicture* picture = FindEmbeddedPicture(id);
    if (picture == nullptr) return wxImage();
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(picture->data, static_cast<size_t>(picture->size));
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) return wxImage();
    return image;
}

wxBitmap LoadKeyedBitmap(int id, COLORREF key) {
    wxImage image = LoadArtImage(id);
    if (!image.IsOk()) return wxBitmap();
    if (!image.HasAlpha()) image.InitAlpha();
    const unsigned char r = GetRValue(key), g = GetGValue(key), b = GetBValue(key);
    unsigned char* rgb = image.GetData();
    unsigned char* alpha = image.GetAlpha();
    const int pixels = image.GetWidth() * image.GetHeight();
    for (int i = 0; i < pixels; ++i) {
        if (rgb[3 * i] == r && rgb[3 * i + 1] == g && rgb[3 * i + 2] == b) alpha[i] = 0;
    }
    return wxBitmap(image);
}

wxBitmap LoadIconBitmap(int size) {
    wxImage image = LoadArtImage(128);
    if (!image.IsOk()) return wxBitmap();
    if (image.GetWidth() != size) image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}
