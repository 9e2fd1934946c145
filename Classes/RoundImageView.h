// The framework's image view showing every image it receives with corners of radius 10: the
// result list's thumbnails.
#pragma once

#include "ui/style/DZImageView.h"

class RoundImageView : public DZImageView {
    NS_OBJECT(RoundImageView, DZImageView)

    // Shows a rounded copy; an image whose copy is empty (no bitmap, no size) clears the view.
    void setImage(UIImage* image) override;
};
