#include "UIKit/UIDevice.h"

#include <random>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIKitNotifications.h"

namespace {
Ref<NSString> identifierPath() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    auto library = cast<NSString>(dirs->objectAtIndex(0));
    NSFileManager::defaultManager()->createDirectoryAtPath(library, true, nullptr, nullptr);
    return library->stringByAppendingPathComponent(NS("DeviceIdentifier"));
}

bool isIdentifier(const std::string& s) {
    if (s.size() != 40) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}
}  // namespace

void UIDevice::describeClass(RuntimeClass& c) {
    c.method("userInterfaceIdiom", &UIDevice::userInterfaceIdiom);
    c.method("isMultitaskingSupported", &UIDevice::isMultitaskingSupported);
    c.method("model", &UIDevice::model);
    c.method("localizedModel", &UIDevice::localizedModel);
    c.method("name", &UIDevice::name);
    c.method("systemName", &UIDevice::systemName);
    c.method("systemVersion", &UIDevice::systemVersion);
    c.method("uniqueIdentifier", &UIDevice::uniqueIdentifier);
    c.method("orientation", &UIDevice::orientation);
}

Ref<UIDevice> UIDevice::currentDevice() {
    static ProcessWide<UIDevice> shared;
    return shared.get();
}

Ref<NSString> UIDevice::name() {
    return NS("Bazaarnest Phone");
}
Ref<NSString> UIDevice::model() {
    return model_ ? model_ : Ref<NSString>(NS("iPhone"));
}
Ref<NSString> UIDevice::localizedModel() {
    return model();
}
Ref<NSString> UIDevice::systemName() {
    return NS("iPhone OS");
}
Ref<NSString> UIDevice::systemVersion() {
    return systemVersion_ ? systemVersion_ : Ref<NSString>(NS("5.0"));
}

void UIDevice::setModel(NSString* model) {
    model_ = model ? model->copy() : nullptr;
}

void UIDevice::setSystemVersion(NSString* version) {
    systemVersion_ = version ? version->copy() : nullptr;
}

Ref<NSString> UIDevice::uniqueIdentifier() {
    if (identifier_) return identifier_;
    auto path = identifierPath();
    if (auto data = NSData::dataWithContentsOfFile(path)) {
        auto text = NSString::stringWithData(data, NSUTF8StringEncoding);
        // A damaged file is replaced, not trusted.
        if (text && isIdentifier(text->utf8())) {
            identifier_ = text;
            return identifier_;
        }
    }
    std::random_device rd;
    static const char* hex = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 40; ++i)
        id += hex[rd() & 15];
    identifier_ = NSString::fromUTF8(id);
    auto bytes = NSData::dataWithBytes(id.data(), static_cast<NSUInteger>(id.size()));
    file_detail::writeDataAtomically(bytes.get(), path.get(), file_detail::Target::OwnStore);
    return identifier_;
}

void UIDevice::resetIdentifierCache() {
    identifier_ = nullptr;
}

UIDeviceOrientation UIDevice::orientation() {
    return generating_ > 0 ? orientation_ : UIDeviceOrientationUnknown;
}

void UIDevice::beginGeneratingDeviceOrientationNotifications() {
    ++generating_;
}

void UIDevice::endGeneratingDeviceOrientationNotifications() {
    if (generating_ > 0) --generating_;
}

void UIDevice::setOrientation(UIDeviceOrientation orientation) {
    if (orientation == orientation_) return;
    orientation_ = orientation;
    if (generating_ > 0)
        NSNotificationCenter::defaultCenter()->postNotificationName(
            UIDeviceOrientationDidChangeNotification, this);
}

UIDeviceBatteryState UIDevice::batteryState() {
    return batteryMonitoring_ ? UIDeviceBatteryStateFull : UIDeviceBatteryStateUnknown;
}

float UIDevice::batteryLevel() {
    return batteryMonitoring_ ? 1.0f : -1.0f;
}
