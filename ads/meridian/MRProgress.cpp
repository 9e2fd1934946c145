#include "ads/meridian/MRProgress.h"

#include "UIKit/UIColor.h"

bool MRProgress::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    minValue_ = 0;
    maxValue_ = 1;
    currentValue_ = 0;
    setBackgroundColor(UIColor::clearColor().get());
    lineColor_ = UIColor::whiteColor();
    progressColor_ = UIColor::darkGrayColor();
    progressRemainingColor_ = UIColor::lightGrayColor();
    return true;
}

void MRProgress::setMinValue(float v) {
    minValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setMaxValue(float v) {
    maxValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setCurrentValue(float v) {
    currentValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setLineColor(UIColor* c) {
    lineColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setProgressRemainingColor(UIColor* c) {
    progressRemainingColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setProgressColor(UIColor* c) {
    progressColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setNewRect(CGRect frame) {
    setFrame(frame);
    setNeedsDisplay();
}

void MRProgress::drawRect(CGRect) {}
