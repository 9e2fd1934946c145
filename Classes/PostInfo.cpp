#include "Classes/PostInfo.h"

#include "Classes/PostPage.h"

void PostInfo::setPostPage(PostPage* page) {
    postPage_ = page;
}
