#include "ads/ironvine/IVAdManager.h"

#include "Foundation/NSString.h"
#include "ads/ironvine/IVController.h"

Ref<NSString> IVAdManager::adRootDir() {
    static Ref<NSString> root = IVController::ivContentDir();
    return root->copy();
}
