#include "Classes/RoundImageView.h"

#include "Classes/UIImage+RoundedCorner.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "UIKit/UIImage.h"

void RoundImageView::setImage(UIImage* image) {
    try {
        auto rounded = UIImageRoundedCorner::roundedCornerImage(image, 10, 0);
        CGSize size = rounded ? rounded->size() : CGSizeZero;
        DZImageView::setImage(size.width != 0 && size.height != 0 ? rounded.get() : nullptr);
    } catch (ExceptionRaised&) {
        NSLog(NS("set img failed"));
    }
}
