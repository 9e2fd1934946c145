// Pages and their scripts: evaluation results, the document model, navigations from scripts and
// clicks, timers on the manual clock, the readable text, and malformed pages.
#include "Foundation/NSData.h"
#include "Foundation/NSLog.h"
#include "UIWebViewTesting.h"

using Events = std::vector<std::string>;

TEST_F(WebViewTest, EvaluationAnswersAsABrowserDoes) {
    load("<html><head><title>  The   Title </title></head><body></body></html>");
    EXPECT_EQ(eval("document.title"), "The Title");
    EXPECT_EQ(eval("6 * 7"), "42");
    EXPECT_EQ(eval("0.1 + 0.2"), "0.30000000000000004");
    EXPECT_EQ(eval("1 / 0"), "Infinity");
    EXPECT_EQ(eval("1e21"), "1e+21");
    EXPECT_EQ(eval("-0"), "0");
    EXPECT_EQ(eval("var parts = ['a', 'b']; parts.join('-') + 1"), "a-b1");
    EXPECT_EQ(eval("1 < 2"), "true");
    for (const char* empty : {"undefined", "null", "({a: 1})", "[1, 2]", "(function(){})",
                              "missingFunction()", "syntax error (", "throw 'x'", ""}) {
        EXPECT_EQ(eval(empty), "") << empty;
    }
    // Globals persist between evaluations; text outside the basic plane survives.
    eval("var counter = 3;");
    EXPECT_EQ(eval("++counter"), "4");
    EXPECT_EQ(eval("'\\ud83d\\ude00' + 'é'"), "\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString(nullptr)->utf8(), "");
}

TEST_F(WebViewTest, EvaluationBeforeAnyLoadSeesAnEmptyPage) {
    EXPECT_EQ(eval("document.body.childNodes.length"), "0");
    EXPECT_EQ(eval("location.href"), "about:blank");
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(WebViewTest, PageScriptsRunInOrderWithWriteAndOnload) {
    load(
        "<html><head><script>var order = ['head'];"
        "document.write('<p id=w>written</p>');</script></head>"
        "<body onload=\"order.push('onload')\"><script>order.push(document.getElementById('w') ? "
        "'sees-written' : 'missing');</script>"
        "<script>document.addEventListener('DOMContentLoaded', function(){order.push('ready')});"
        "</script><script type='text/template'>order.push('template')</script></body></html>");
    EXPECT_EQ(eval("order.join()"), "head,sees-written,ready,onload");
    EXPECT_EQ(eval("document.readyState"), "complete");
    EXPECT_EQ(eval("document.body.firstChild.id"), "w");  // written from the head: body content
}

TEST_F(WebViewTest, DocumentModelEditing) {
    load(
        "<body><div id=box class='a b'><span>one</span></div><ul><li>1</li><li>2</li></ul></body>");
    EXPECT_EQ(eval("document.getElementById('box').className"), "a b");
    EXPECT_EQ(eval("document.getElementsByTagName('li').length"), "2");
    EXPECT_EQ(eval("document.getElementsByClassName('b')[0].tagName"), "DIV");
    EXPECT_EQ(eval("document.querySelectorAll('ul > li').length"), "2");
    EXPECT_EQ(eval("document.querySelector('#box span').textContent"), "one");
    EXPECT_EQ(eval("var d = document.createElement('p'); d.setAttribute('data-k', 'v');"
                   "d.appendChild(document.createTextNode('new <text>'));"
                   "document.body.appendChild(d); document.body.lastChild.outerHTML"),
              "<p data-k=\"v\">new &lt;text&gt;</p>");
    EXPECT_EQ(eval("var box = document.getElementById('box'); box.innerHTML = '<b>bold</b> & more';"
                   "box.firstChild.tagName + '|' + box.textContent"),
              "B|bold & more");
    // A removed node stays usable and can go back in.
    EXPECT_EQ(eval("var li = document.getElementsByTagName('li')[0]; li.parentNode.removeChild(li);"
                   "document.getElementsByTagName('li').length + ':' + li.textContent"),
              "1:1");
    EXPECT_EQ(eval("document.querySelector('ul').insertBefore(li, document.querySelector('ul li'));"
                   "document.querySelector('ul').textContent"),
              "12");
    EXPECT_EQ(eval("document.getElementById('box') === document.getElementById('box')"), "true");
    EXPECT_EQ(eval("document.body.appendChild(document.body).tagName"), "");  // not inside itself
    EXPECT_EQ(
        eval("var s = document.createElement('script'); s.appendChild("
             "document.createTextNode('var added = 9;')); document.body.appendChild(s); added"),
        "9");
    EXPECT_EQ(eval("box.innerHTML = '<script>var fromInner = 1;<\\/script>'; typeof fromInner"),
              "undefined");
    EXPECT_EQ(eval("box.style.backgroundColor = 'red'; box.getAttribute('style')"),
              "background-color: red;");
    EXPECT_EQ(eval("document.title = 'Set'; document.title"), "Set");
    EXPECT_EQ(webView->pageTitle()->utf8(), "Set");
}

TEST_F(WebViewTest, ElementsWithAnIdAreGlobals) {
    // The framework's video view resizes its embed this way.
    load("<object><embed id=\"yt\" width=\"140\" height=\"105\"></embed></object>");
    EXPECT_EQ(eval("yt.width = 320; yt.height = 240;"
                   "yt.getAttribute('width') + 'x' + document.getElementById('yt').height"),
              "320x240");
    EXPECT_EQ(eval("var d = document.createElement('div'); d.id = 'later';"
                   "document.body.appendChild(d); later.tagName"),
              "DIV");
    EXPECT_EQ(eval("yt = 5; yt"), "5");  // a script's own variable wins
}

TEST_F(WebViewTest, LocationChangesBecomeNavigationsOnTheNextPass) {
    load("<p>page</p>");
    recorder->take();
    recorder->decide = [](NSURLRequest* r, UIWebViewNavigationType) {
        return !r->URL()->scheme()->isEqualToString(NS("gmsg"));
    };
    EXPECT_EQ(eval("window.location = 'gmsg://ignored'; location.href = 'gmsg://loadAdURL?url=x';"
                   " 'asked'"),
              "asked");
    EXPECT_TRUE(recorder->events.empty());  // never inside the page's own script
    settle();
    // Only the last change before the page yields is asked about, as the type "other".
    EXPECT_EQ(recorder->take(), Events{"should 5 gmsg://loadAdURL?url=x"});
    EXPECT_FALSE(webView->isLoading());
    EXPECT_EQ(eval("document.body.textContent"), "page");

    // A page that sends its command while loading still finishes first.
    webView->loadHTMLString(NS("<script>location.href = 'gmsg://ready';</script>"), nullptr);
    settle();
    EXPECT_EQ(recorder->take(),
              (Events{"should 5 about:blank", "start", "finish", "should 5 gmsg://ready"}));
}

TEST_F(WebViewTest, FragmentChangesStayInTheDocument) {
    load("<p>x</p><script>var marker = 1;</script>", NSURL::URLWithString(NS("http://a.test/p")));
    recorder->take();
    eval("location.hash = 'part'");
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 5 http://a.test/p#part"});
    EXPECT_EQ(eval("marker + location.hash"), "1#part");
    EXPECT_TRUE(webView->canGoBack());
}

TEST_F(WebViewTest, ClicksRunHandlersAndFollowLinks) {
    load(
        "<body><a href='http://shop.test/item' onclick=\"document.title='cancelled'; return "
        "false;\">"
        "Stay</a> <a href='/next'>Go</a>"
        " <button onClick=\"window.location='http://refreshthispost'\">Refresh</button>"
        " <span id=s>plain</span></body>",
        NSURL::URLWithString(NS("http://shop.test/list")));
    recorder->take();
    recorder->decide = [](NSURLRequest*, UIWebViewNavigationType) { return false; };
    ASSERT_EQ(webView->clickableElementCount(), 3u);

    EXPECT_TRUE(webView->clickElementAtIndex(1));
    settle();
    EXPECT_EQ(eval("document.title"), "cancelled");
    EXPECT_TRUE(recorder->events.empty());

    EXPECT_TRUE(webView->clickElementAtIndex(2));
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 0 http://shop.test/next"});

    EXPECT_TRUE(webView->clickElementAtIndex(3));
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 5 http://refreshthispost"});

    // Listeners count as handlers: the element becomes clickable and hears the click.
    eval(
        "document.getElementById('s').addEventListener('click', function (e) {"
        " document.title = e.type + ':' + e.target.id; })");
    EXPECT_EQ(webView->clickableElementCount(), 4u);
    EXPECT_TRUE(webView->clickElementWithId(NS("s")));
    EXPECT_EQ(eval("document.title"), "click:s");
    EXPECT_FALSE(webView->clickElementAtIndex(9));
    EXPECT_FALSE(webView->clickElementWithId(NS("none")));
}

TEST_F(WebViewTest, FormsSubmitWithTheFormType) {
    load(
        "<form action='/search' method='get'><input name='q' value='red bike'>"
        "<input type='checkbox' name='pic' checked><input type='submit' name='go' value='Find'>"
        "</form><form id=p action='/post' method='post'><input name='a' value='1'></form>",
        NSURL::URLWithString(NS("http://site.test/")));
    recorder->take();
    Ref<NSData> body;
    recorder->decide = [&](NSURLRequest* r, UIWebViewNavigationType) {
        body = r->HTTPBody();
        return false;
    };
    EXPECT_EQ(webView->readableText()->utf8(),
              "[1] [text: red bike] [2] [x] [3] Find\n\n[4] [text: 1]");
    EXPECT_TRUE(webView->enterTextInElementAtIndex(1, NS("blue car")));
    EXPECT_FALSE(webView->enterTextInElementAtIndex(3, NS("not a field")));
    webView->clickElementAtIndex(2);  // the check box goes off
    webView->clickElementAtIndex(3);
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 1 http://site.test/search?q=blue+car&go=Find"});
    eval("document.getElementById('p').submit()");
    settle();
    EXPECT_EQ(recorder->take(), Events{"should 1 http://site.test/post"});
    ASSERT_TRUE(body);
    EXPECT_EQ(std::string(body->view()), "a=1");
}

TEST_F(WebViewTest, TimersRunOnTheManualClock) {
    load(
        "<script>var ticks = 0; var id = setInterval(function(){ if (++ticks == 3) "
        "clearInterval(id); }, 500);"
        "setTimeout(function(word){ document.title = word; }, 1500, 'later');"
        "var started = Date.now();</script>");
    advanceRunLoop(1.0);
    EXPECT_EQ(eval("ticks"), "2");
    EXPECT_EQ(eval("document.title"), "");
    advanceRunLoop(0.5);
    EXPECT_EQ(eval("document.title"), "later");
    advanceRunLoop(5);
    EXPECT_EQ(eval("ticks"), "3");
    EXPECT_EQ(eval("Date.now() - started"), "6500");
    EXPECT_EQ(
        eval("var t = setTimeout(function(){ document.title = 'no'; }, 10); clearTimeout(t); 1"),
        "1");
    advanceRunLoop(1);
    EXPECT_EQ(eval("document.title"), "later");

    // A new page ends the old page's timers.
    eval("setTimeout(function(){ location = 'gmsg://stale'; }, 2000)");
    load("<p>new</p>");
    recorder->take();
    advanceRunLoop(3);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(WebViewTest, ConsoleGoesToTheLog) {
    std::vector<std::string> lines;
    auto previous = NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    load("<script>console.log('hello', 3);</script>");
    NSLogSetSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("hello 3"), std::string::npos);
}

TEST_F(WebViewTest, ReadableTextNumbersLinksAndShowsImages) {
    load(
        "<html><head><title>T</title><style>p{}</style></head><body>"
        "<h1>Red   bike</h1><p>Fine <b>condition</b>.<br>Call now</p>"
        "<p><a href='/contact'>Contact</a> or <a href='/img'><img src='pic.jpg'></a></p>"
        "<ul><li>one</li><li>two</li></ul><div style='display: none'>hidden</div>"
        "<script>var invisible = 1;</script></body></html>",
        NSURL::URLWithString(NS("http://site.test/items/1.html")));
    EXPECT_EQ(webView->readableText()->utf8(),
              "# Red bike\n\n"
              "Fine condition.\nCall now\n\n"
              "[1] Contact or [2] [image http://site.test/items/pic.jpg]\n\n"
              "- one\n- two");
    EXPECT_EQ(webView->clickableElementCount(), 2u);
    // An image of a local page shows by its file name, not the machine's folders.
    load("<p><img src='ad/pic.gif'></p>",
         NSURL::fileURLWithPath(NS("/home/someone/Content/1.html")));
    EXPECT_EQ(webView->readableText()->utf8(), "[image pic.gif]");
}

TEST_F(WebViewTest, MalformedPagesStillLoad) {
    load("<p>one<p>two <b>bold <i>both</b> italic</i><div>unclosed <table><td>cell");
    EXPECT_EQ(recorder->take().back(), "finish");
    EXPECT_EQ(eval("document.getElementsByTagName('p').length"), "2");
    EXPECT_NE(webView->readableText()->utf8().find("cell"), std::string::npos);

    for (const char* page : {"", "<", "</html></body>", "<<<>>>&&&;;", "<script>unterminated(",
                             "<body><body><head><title>late</title>"}) {
        load(page);
        EXPECT_EQ(recorder->take().back(), "finish") << page;
        EXPECT_EQ(eval("document.body ? 'body' : 'none'"), "body") << page;
    }
    webView->loadHTMLString(nullptr, nullptr);
    settle();
    EXPECT_EQ(eval("document.documentElement.tagName"), "HTML");
    std::string bytes = "<p>caf\xE9</p>";  // Latin-1, not UTF-8
    webView->loadData(NSData::dataWithBytes(bytes.data(), NSUInteger(bytes.size())),
                      NS("text/html"), nullptr, nullptr);
    settle();
    EXPECT_EQ(eval("document.body.textContent"), "caf\xC3\xA9");
}

TEST_F(WebViewTest, CommandQueuePolledFromNative) {
    // The shape the ad bridges use: the page queues commands, native code drains them.
    load(
        "<html><head><title>Advertisement</title><script type = \"text/javascript\">\n"
        "/*<![CDATA[*/\nvar g_commandQueue=[];function commandList(m){if(m===0){return "
        "g_commandQueue.shift();}var s=g_commandQueue.join(\"\\n\");g_commandQueue=[];return s;}"
        "function sendCommand(c){g_commandQueue.push(c);}\n/*]]>*/\n</script></head>"
        "<body style=\"margin:0px;\" onload=\"sendCommand('ready;');\"></body></html>");
    EXPECT_EQ(eval("commandList(0);"), "ready;");
    EXPECT_EQ(eval("commandList(0);"), "");
    eval("setTimeout(function(){ sendCommand('a;'); sendCommand('b;'); }, 100)");
    advanceRunLoop(0.2);
    EXPECT_EQ(eval("commandList(1);"), "a;\nb;");
    EXPECT_EQ(eval("try { missing(); } catch(e) {}"), "");
}

TEST_F(WebViewTest, ScriptsTheClientsRunInPages) {
    load(
        "<script>window.onorientationchange = function () { document.title = window.orientation; };"
        "function isIVJSLoaded(){return true;}</script><img id=pic width=50 height=20>");
    // The orientation notice of the ad client's bridge.
    eval(
        "window.__defineGetter__('orientation',function(){return -90;});"
        "window.onorientationchange();");
    EXPECT_EQ(eval("document.title"), "-90");
    EXPECT_EQ(eval("isIVJSLoaded();"), "true");
    // The framework's element frame script.
    EXPECT_EQ(eval("    var target = document.getElementById('pic');     var x = 0, y = 0;     "
                   "for (var n = target; n && n.nodeType == 1; n = n.offsetParent) {        "
                   "x += n.offsetLeft;       y += n.offsetTop;     }     x + ',' + y + ',' + "
                   "target.offsetWidth + ',' + target.offsetHeight; "),
              "0,0,50,20");
    EXPECT_EQ(eval("document.body.style.backgroundColor='transparent'"), "transparent");
    EXPECT_EQ(eval("window.innerWidth + 'x' + window.innerHeight"), "320x416");
}
