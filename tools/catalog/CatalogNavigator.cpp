#include "tools/catalog/CatalogNavigator.h"

#include <string>

#include "Classes/SiteHosts.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZModel.h"
#include "ui/core/DZModelViewController.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZWebController.h"

namespace {

// The site's location index through the request queue; counts its loads.
class CatalogSitesModel : public DZURLRequestModel {
    NS_OBJECT(CatalogSitesModel, DZURLRequestModel)

public:
    void load(int32_t cachePolicy, bool more) override {
        setIsLoadingMore(more);
        auto url = NSString::stringWithFormat(NS("http://%@/about/sites"), SiteHosts::mainHost());
        auto request = DZURLRequest::requestWithURL(url, this);
        request->setCachePolicy(cachePolicy);
        request->setResponse(make<DZURLDataResponse>());
        request->send();
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        if (auto processor = as<DZURLDataResponse>(request->response())) {
            bytes = processor->data() ? processor->data()->length() : 0;
            ++loads;
        }
        DZURLRequestModel::requestDidFinishLoad(request);
    }
    NSUInteger bytes = 0;
    int loads = 0;
};

// Shows what its model's state calls for in one label.
class CatalogRequestModelController : public DZModelViewController {
    NS_OBJECT(CatalogRequestModelController, DZModelViewController)

public:
    void loadView() override {
        DZModelViewController::loadView();
        setTitle(NS("Request Model"));
        label_ = make<UILabel>(&UIView::initWithFrame, CGRectMake(20, 20, 280, 24));
        view()->addSubview(label_);
    }
    void viewDidUnload() override {
        DZModelViewController::viewDidUnload();
        label_ = nullptr;
    }
    void createModel() override { setModel(make<CatalogSitesModel>()); }
    void showLoading(bool show) override {
        if (show) say("Loading the location index...");
    }
    void showModel(bool show) override {
        auto sites = as<CatalogSitesModel>(model());
        if (show && sites) {
            say("Location index loaded " + std::to_string(sites->loads) +
                (sites->loads == 1 ? " time" : " times"));
        }
    }
    void showError(bool show) override {
        if (show) say("The location index could not be loaded");
    }

private:
    void say(const std::string& text) {
        if (label_) label_->setText(NSString::stringWithUTF8String(text.c_str()));
    }
    Ref<UILabel> label_;
};

}  // namespace

Ref<UIViewController> makeCatalogBrowser() {
    auto browser = make<DZWebController>();
    browser->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    browser->openURL(
        NSURL::URLWithString(NSString::stringWithFormat(NS("http://%@/"), SiteHosts::mainHost())));
    return browser;
}

Ref<UIViewController> makeCatalogRequestModelScreen() {
    return make<CatalogRequestModelController>();
}

void installCatalogNavigator(UIWindow* window, UIViewController* root) {
    auto navigator = DZNavigator::navigator();
    navigator->setWindow(window);
    navigator->setRootViewController(root);
    navigator->setSupportsShakeToReload(true);
    // Web addresses no screen of the catalog maps (a styled text's links) go to another app.
    navigator->setOpensExternalURLs(true);
}
