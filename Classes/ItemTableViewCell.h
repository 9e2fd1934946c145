// The row of one listing in the result and favourites lists: title, one-line body, relative
// time, place line, a price tag touching the right edge and a rounded thumbnail at the left whose
// width follows the image's aspect ratio. The labels and the price tag come from the interface
// "ItemTableViewCell"; the cell adds the thumbnail, its background and the layout that makes
// room for thumbnail and price.
#pragma once

#include "Classes/RoundImageView.h"
#include "UIKit/UITableViewCell.h"
#include "ui/style/DZImageViewDelegate.h"

class UIImageView;
class UILabel;

class ItemTableViewCell : public UITableViewCell, public DZImageViewDelegate {
    NS_OBJECT(ItemTableViewCell, UITableViewCell)
    static void describeClass(RuntimeClass& c);

    // The first cell among the interface's top-level objects, completed, with a disclosure
    // indicator; nil when the interface holds no cell.
    static Ref<ItemTableViewCell> createTableViewCellWithIdentifier(NSString* identifier);

    // Adds the thumbnail and the background; the left margin starts at 6.
    void initCellImageView();
    // Places the price tag, the title and the detail label for a row 320 points wide.
    void layout();
    // Sizes the thumbnail to the image: 80 high, as wide as the aspect ratio gives, at most 120.
    void imageViewDidLoadImage(DZImageView* view, UIImage* image) override;
    // The title's shadow and the standard image view follow the highlighted or selected state.
    void updateDisplay(bool highlighted);
    void setHighlighted(bool highlighted, bool animated) override;
    void setSelected(bool selected, bool animated) override;

    Ref<UILabel> titleLabel() { return titleLabel_; }
    void setTitleLabel(UILabel* v);
    Ref<UILabel> priceLabel() { return priceLabel_; }
    void setPriceLabel(UILabel* v);
    Ref<UILabel> timeLabel() { return timeLabel_; }
    void setTimeLabel(UILabel* v);
    Ref<UILabel> locationLabel() { return locationLabel_; }
    void setLocationLabel(UILabel* v);
    Ref<UILabel> detailLabel() { return detailLabel_; }
    void setDetailLabel(UILabel* v);
    Ref<UIImageView> priceImageView() { return priceImageView_; }
    void setPriceImageView(UIImageView* v);
    Ref<RoundImageView> imgView() { return imgView_; }
    int32_t priceWidth() { return priceWidth_; }
    void setPriceWidth(int32_t v) { priceWidth_ = v; }
    int32_t leftMargin() { return leftMargin_; }

    void dealloc() override;

private:
    Ref<UILabel> titleLabel_;
    Ref<UILabel> priceLabel_;
    Ref<UILabel> timeLabel_;
    Ref<UILabel> locationLabel_;
    Ref<UILabel> detailLabel_;
    Ref<UIImageView> priceImageView_;
    Ref<RoundImageView> imgView_;
    int32_t priceWidth_ = 0;
    int32_t leftMargin_ = 0;
};
