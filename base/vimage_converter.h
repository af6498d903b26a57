#ifndef OXA_BASE_VIMAGE_CONVERTER_H
#define OXA_BASE_VIMAGE_CONVERTER_H

#include <oxa/base/oxa_export.h>

class VOxaSdkManager;

// The image converter that the SDK manager makes on request and destroys with itself. It keeps
// the manager that made it; the conversions themselves belong to the image code that uses it.
class OXA_API VImageConverter {
public:
    explicit VImageConverter(VOxaSdkManager* manager) : mManager(manager) {}
    virtual ~VImageConverter() = default;
    VImageConverter(const VImageConverter&) = delete;
    VImageConverter& operator=(const VImageConverter&) = delete;

    VOxaSdkManager* GetManager() const { return mManager; }

private:
    VOxaSdkManager* mManager;
};

#endif  // OXA_BASE_VIMAGE_CONVERTER_H
