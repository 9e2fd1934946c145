#include "Classes/PostInfo.h"

#include "Classes/PostPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

void PostInfo::setPostPage(PostPage* page) {
    postPage_ = page;
}

Ref<NSMutableArray> PostInfo::photosSentTo(NSString* session) {
    if (!photosSent_ || !session || !photoSession_ || !photoSession_->isEqualToString(session)) {
        photoSession_ = session;
        photosSent_ = NSMutableArray::arrayWithCapacity(4);
    }
    return photosSent_;
}
