// What the photo tests share: photos whose versions name server or cache URLs, and a photo set
// whose loaded range, total and loading state the test sets.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "ui/core/DZModel.h"
#include "ui/table/DZPhotoSource.h"

class TestPhotoSet;

class TestPhoto : public NSObject, public DZPhoto {
    NS_OBJECT(TestPhoto, NSObject)

public:
    Ref<DZPhotoSource> photoSource() override;
    NSInteger index() override { return index_; }
    CGSize size() override { return size_; }
    void setSize(CGSize size) override { size_ = size; }
    Ref<NSString> caption() override { return caption_; }
    Ref<NSString> URLForVersion(DZPhotoVersion version) override {
        auto it = urls.find(version);
        return it == urls.end() ? nullptr : NSString::stringWithUTF8String(it->second.c_str());
    }

    Weak<TestPhotoSet> set;
    NSInteger index_ = 0;
    CGSize size_{};
    Ref<NSString> caption_;
    std::map<int32_t, std::string> urls;
};

class TestPhotoSet : public DZModel, public DZPhotoSource {
    NS_OBJECT(TestPhotoSet, DZModel)

public:
    // `count` photos, of which the first `loaded` are loaded; version v of photo i is at
    // base + "/p<i>-<v>.png"; `total` -1 hides the count.
    static Ref<TestPhotoSet> setWith(NSInteger count, NSInteger loaded, const std::string& base,
                                     NSInteger total = -2) {
        auto set = make<TestPhotoSet>();
        set->title_ = NS("Holiday");
        set->total = total == -2 ? count : total;
        for (NSInteger i = 0; i < count; ++i) {
            auto p = make<TestPhoto>();
            p->set = set.get();
            p->index_ = i;
            p->size_ = CGSizeMake(300, 200);
            p->caption_ = NSString::stringWithFormat(NS("Photo %d"), static_cast<int>(i + 1));
            for (int v : {1, 3, 4})
                p->urls[v] = base + "/p" + std::to_string(i) + "-" + std::to_string(v) + ".png";
            set->photos.push_back(p);
        }
        set->loadedCount = loaded;
        return set;
    }

    Ref<NSString> title() override { return title_; }
    NSInteger numberOfPhotos() override { return total; }
    NSInteger maxPhotoIndex() override { return loadedCount - 1; }
    Ref<DZPhoto> photoAtIndex(NSInteger index) override {
        if (index < 0 || index >= loadedCount || index >= static_cast<NSInteger>(photos.size()))
            return nullptr;
        return Ref<DZPhoto>(photos[static_cast<size_t>(index)].get());
    }
    Ref<DZModel> photoModel() override { return Ref<DZModel>(this); }
    bool isLoading() override { return loading; }
    bool isLoaded() override { return !loading; }
    void load(int32_t policy, bool more) override {
        loads.push_back(std::to_string(policy) + (more ? "+" : ""));
    }
    // Loads the next page of ten and tells the observers.
    void finishPage() {
        loadedCount = std::min<NSInteger>(loadedCount + 10, static_cast<NSInteger>(photos.size()));
        loading = false;
        didFinishLoad();
    }

    Ref<NSString> title_;
    NSInteger total = 0;
    NSInteger loadedCount = 0;
    bool loading = false;
    std::vector<Ref<TestPhoto>> photos;
    std::vector<std::string> loads;
};

inline Ref<DZPhotoSource> TestPhoto::photoSource() {
    auto s = set.lock();
    return s ? Ref<DZPhotoSource>(s.get()) : nullptr;
}
