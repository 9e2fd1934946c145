#include "UIKit/UISearchDisplayController.h"

#include "UIKit/UISearchBar.h"
#include "UIKit/UIViewController.h"

bool UISearchDisplayController::initWithSearchBar(UISearchBar* searchBar,
                                                  UIViewController* contentsController) {
    searchBar_ = searchBar;
    contents_ = contentsController;
    if (contentsController) contentsController->setSearchDisplayController(this);
    return true;
}

void UISearchDisplayController::setActive(bool active, bool) {
    active_ = active;
}
