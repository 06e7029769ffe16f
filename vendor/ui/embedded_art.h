// The program's pictures (resources/art/png), built into the binary by the build
// (cmake/embed_art.cmake) and found by resource id.
#pragma once

struct EmbeddedPicture {
    int id;                      // resource id, the number the picture's file name starts with
    const char* name;            // file name without extension, "129_main_skin"
    const unsigned char* data;   // PNG bytes
    int size;
};

extern const EmbeddedPicture kEmbeddedPictures[];
extern const int kEmbeddedPictureCount;

// The picture of a resource id, or null when none was built in.
const EmbeddedPicture* FindEmbeddedPicture(int id);
