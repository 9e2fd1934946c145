// Hands the current posting page from one posting screen to the next.
#pragma once

#include "Foundation/NSObject.h"

class PostPage;

class PostInfo : public NSObject {
    NS_OBJECT(PostInfo, NSObject)

public:
    Ref<PostPage> postPage() { return postPage_; }
    void setPostPage(PostPage* page);

private:
    Ref<PostPage> postPage_;
};
