// The browser model that every page's scripts see, written in the page's own language over the
// native tree operations (N) that WebScript.cpp provides. It is compiled as one function taking
// those operations and the global object, and answers the hooks the native side calls.
#include "UIKit/WebContent/WebScript.h"

namespace webcontent {

const char* const kPreludeSource = R"JS(function (N, G) {
var ID = Symbol('node');
var HANDLERS = Symbol('handlers');
var LISTENERS = Symbol('listeners');
var STYLE = Symbol('style');
var FRAGMENT = Symbol('fragment');
var cache = {};
var hooks = {};

function method(o, name, fn) {
    Object.defineProperty(o, name,
        { value: fn, writable: true, enumerable: false, configurable: true });
}
function define(o, name, get, set) {
    Object.defineProperty(o, name, { get: get, set: set, enumerable: true, configurable: true });
}
function report(e) { }

// ---- dates on the platform clock -------------------------------------------------------------
(function () {
    var D = Date;
    function PlatformDate(y, m, d, h, mi, s, ms) {
        var n = arguments.length;
        if (!(this instanceof PlatformDate)) return new D(N.now()).toString();
        if (n === 0) return new D(N.now());
        if (n === 1) return new D(y);
        return new D(y, m, n > 2 ? d : 1, n > 3 ? h : 0, n > 4 ? mi : 0, n > 5 ? s : 0,
            n > 6 ? ms : 0);
    }
    PlatformDate.prototype = D.prototype;
    PlatformDate.now = function () { return N.now(); };
    PlatformDate.parse = D.parse;
    PlatformDate.UTC = D.UTC;
    method(D.prototype, 'constructor', PlatformDate);
    G.Date = PlatformDate;
})();

// ---- legacy accessors that page scripts still use -----------------------------------------------
if (!Object.prototype.__defineGetter__) {
    method(Object.prototype, '__defineGetter__', function (name, fn) {
        Object.defineProperty(this, name, { get: fn, enumerable: true, configurable: true });
    });
    method(Object.prototype, '__defineSetter__', function (name, fn) {
        Object.defineProperty(this, name, { set: fn, enumerable: true, configurable: true });
    });
    method(Object.prototype, '__lookupGetter__', function (name) {
        for (var o = this; o; o = Object.getPrototypeOf(o)) {
            var d = Object.getOwnPropertyDescriptor(o, name);
            if (d) return d.get;
        }
        return undefined;
    });
}

// ---- nodes --------------------------------------------------------------------------------------
function handle(node) {
    return (node !== null && typeof node === 'object' && node[ID]) ? node[ID] : 0;
}
function need(node) {
    var h = handle(node);
    if (!h) throw new TypeError('Argument is not a node');
    return h;
}
function nodeList(handles) {
    var out = [];
    for (var i = 0; i < handles.length; i++) out.push(wrap(handles[i]));
    method(out, 'item', function (i) { return i < this.length ? this[i] : null; });
    return out;
}

function Node() { throw new TypeError('Illegal constructor'); }
function Element() { throw new TypeError('Illegal constructor'); }
function Document() { throw new TypeError('Illegal constructor'); }
function Text() { throw new TypeError('Illegal constructor'); }
var EventTargetProto = {};
var NodeProto = Object.create(EventTargetProto);
var ElementProto = Object.create(NodeProto);
var TextProto = Object.create(NodeProto);
var CommentProto = Object.create(NodeProto);
var DocumentProto = Object.create(NodeProto);
Node.prototype = NodeProto;
Element.prototype = ElementProto;
Document.prototype = DocumentProto;
Text.prototype = TextProto;
Node.ELEMENT_NODE = 1; Node.TEXT_NODE = 3; Node.COMMENT_NODE = 8; Node.DOCUMENT_NODE = 9;
Node.DOCUMENT_FRAGMENT_NODE = 11;

function wrap(h) {
    if (!h) return null;
    var w = cache[h];
    if (w) return w;
    var t = N.type(h);
    var proto = t === 1 ? ElementProto : t === 9 ? DocumentProto
        : (t === 3 || t === 4) ? TextProto : t === 8 ? CommentProto : NodeProto;
    w = Object.create(proto);
    Object.defineProperty(w, ID, { value: h });
    cache[h] = w;
    return w;
}

// Elements with an id are reachable as globals of that name, as in every browser (unless the
// name is taken).
function exposeIds(h) {
    var list = N.type(h) === 1 ? [h] : [];
    list = list.concat(N.byTag(h, '*'));
    for (var i = 0; i < list.length; i++) {
        var id = N.getAttr(list[i], 'id');
        if (id && !(id in G)) exposeName(id);
    }
}
function exposeName(id) {
    Object.defineProperty(G, id, {
        get: function () { return wrap(N.byId(id)); },
        set: function (v) {
            Object.defineProperty(G, id,
                { value: v, writable: true, enumerable: true, configurable: true });
        },
        enumerable: false, configurable: true
    });
}
hooks.exposeIds = exposeIds;

define(NodeProto, 'nodeType', function () {
    if (this[FRAGMENT]) return 11;
    var t = N.type(this[ID]);
    return t === 4 ? 3 : t;
});
define(NodeProto, 'nodeName', function () {
    var t = N.type(this[ID]);
    if (this[FRAGMENT]) return '#document-fragment';
    if (t === 1) return N.name(this[ID]).toUpperCase();
    return t === 9 ? '#document' : t === 8 ? '#comment' : '#text';
});
define(NodeProto, 'parentNode', function () { return wrap(N.parent(this[ID])); });
define(NodeProto, 'parentElement', function () {
    var p = wrap(N.parent(this[ID]));
    return p && p.nodeType === 1 ? p : null;
});
define(NodeProto, 'firstChild', function () { return wrap(N.first(this[ID])); });
define(NodeProto, 'lastChild', function () { return wrap(N.last(this[ID])); });
define(NodeProto, 'nextSibling', function () { return wrap(N.next(this[ID])); });
define(NodeProto, 'previousSibling', function () { return wrap(N.prev(this[ID])); });
define(NodeProto, 'childNodes', function () {
    var out = [];
    for (var c = N.first(this[ID]); c; c = N.next(c)) out.push(c);
    return nodeList(out);
});
define(NodeProto, 'ownerDocument', function () {
    return this === documentObj ? null : documentObj;
});
define(NodeProto, 'textContent', function () {
    return this === documentObj ? null : N.text(this[ID]);
}, function (v) {
    if (this !== documentObj) N.setText(this[ID], v === null || v === undefined ? '' : String(v));
});
define(NodeProto, 'nodeValue', function () {
    var t = this.nodeType;
    return (t === 3 || t === 8) ? N.text(this[ID]) : null;
}, function (v) {
    var t = this.nodeType;
    if (t === 3 || t === 8) N.setText(this[ID], String(v));
});
define(TextProto, 'data', function () { return N.text(this[ID]); },
    function (v) { N.setText(this[ID], String(v)); });
define(TextProto, 'length', function () { return N.text(this[ID]).length; });
define(CommentProto, 'data', function () { return N.text(this[ID]); },
    function (v) { N.setText(this[ID], String(v)); });

function insert(parent, child, before) {
    if (child && child[FRAGMENT]) {
        var kids = [];
        for (var c = N.first(child[ID]); c; c = N.next(c)) kids.push(c);
        for (var i = 0; i < kids.length; i++) {
            N.insert(parent[ID], kids[i], handle(before));
            exposeIds(kids[i]);
        }
        return child;
    }
    N.insert(parent[ID], need(child), handle(before));
    exposeIds(child[ID]);
    return child;
}
method(NodeProto, 'appendChild', function (c) { return insert(this, c, null); });
method(NodeProto, 'insertBefore', function (c, ref) {
    if (ref && N.parent(handle(ref)) !== this[ID]) throw new Error('NotFoundError: not a child');
    return insert(this, c, ref);
});
method(NodeProto, 'removeChild', function (c) {
    var h = need(c);
    if (N.parent(h) !== this[ID]) throw new Error('NotFoundError: not a child');
    N.remove(h);
    return c;
});
method(NodeProto, 'replaceChild', function (n, old) {
    var h = need(old);
    if (N.parent(h) !== this[ID]) throw new Error('NotFoundError: not a child');
    if (n === old) return old;
    insert(this, n, old);
    N.remove(h);
    return old;
});
method(NodeProto, 'hasChildNodes', function () { return N.first(this[ID]) !== 0; });
method(NodeProto, 'cloneNode', function (deep) { return wrap(N.clone(this[ID], !!deep)); });
method(NodeProto, 'contains', function (o) {
    for (var h = handle(o); h; h = N.parent(h)) if (h === this[ID]) return true;
    return false;
});

// ---- elements -----------------------------------------------------------------------------------
define(ElementProto, 'tagName', function () { return N.name(this[ID]).toUpperCase(); });
define(ElementProto, 'localName', function () { return N.name(this[ID]); });
function reflect(name, attr) {
    define(ElementProto, name, function () {
        var v = N.getAttr(this[ID], attr);
        return v === null ? '' : v;
    }, function (v) { N.setAttr(this[ID], attr, String(v)); });
}
reflect('className', 'class'); reflect('title', 'title');
reflect('name', 'name'); reflect('alt', 'alt'); reflect('rel', 'rel'); reflect('target', 'target');
reflect('lang', 'lang'); reflect('dir', 'dir'); reflect('method', 'method');
reflect('placeholder', 'placeholder');
define(ElementProto, 'id', function () { return N.getAttr(this[ID], 'id') || ''; },
    function (v) { N.setAttr(this[ID], 'id', String(v)); exposeIds(this[ID]); });
function reflectURL(name) {
    define(ElementProto, name, function () {
        var v = N.getAttr(this[ID], name);
        return v === null ? '' : N.resolve(v);
    }, function (v) { N.setAttr(this[ID], name, String(v)); });
}
reflectURL('href'); reflectURL('src'); reflectURL('action');
function reflectFlag(name) {
    define(ElementProto, name, function () { return N.hasAttr(this[ID], name); }, function (v) {
        if (v) N.setAttr(this[ID], name, name); else N.removeAttr(this[ID], name);
    });
}
reflectFlag('checked'); reflectFlag('disabled'); reflectFlag('selected'); reflectFlag('hidden');
reflectFlag('readOnly');
function reflectNumber(name) {
    define(ElementProto, name, function () {
        var v = parseInt(N.getAttr(this[ID], name), 10);
        return isNaN(v) ? 0 : v;
    }, function (v) { N.setAttr(this[ID], name, String(v)); });
}
reflectNumber('width'); reflectNumber('height');
define(ElementProto, 'type', function () {
    var v = N.getAttr(this[ID], 'type'), tag = N.name(this[ID]);
    if (v === null) return tag === 'input' ? 'text' : tag === 'button' ? 'submit' : '';
    return (tag === 'input' || tag === 'button') ? v.toLowerCase() : v;
}, function (v) { N.setAttr(this[ID], 'type', String(v)); });
define(ElementProto, 'value', function () {
    var tag = N.name(this[ID]);
    if (tag === 'textarea') return N.text(this[ID]);
    if (tag === 'select') {
        var o = selectedOption(this);
        return o ? o.value : '';
    }
    var v = N.getAttr(this[ID], 'value');
    if (v !== null) return v;
    if (tag === 'option') return N.text(this[ID]);
    if (tag === 'input' && (this.type === 'checkbox' || this.type === 'radio')) return 'on';
    return '';
}, function (v) {
    var tag = N.name(this[ID]);
    v = v === null || v === undefined ? '' : String(v);
    if (tag === 'textarea') { N.setText(this[ID], v); return; }
    if (tag === 'select') {
        var opts = this.options;
        for (var i = 0; i < opts.length; i++) opts[i].selected = opts[i].value === v;
        return;
    }
    N.setAttr(this[ID], 'value', v);
});
function selectedOption(select) {
    var opts = select.options;
    for (var i = 0; i < opts.length; i++) if (opts[i].hasAttribute('selected')) return opts[i];
    return opts.length ? opts[0] : null;
}
define(ElementProto, 'options', function () { return nodeList(N.byTag(this[ID], 'option')); });
define(ElementProto, 'selectedIndex', function () {
    var opts = this.options, o = selectedOption(this);
    for (var i = 0; i < opts.length; i++) if (opts[i] === o) return i;
    return -1;
}, function (n) {
    var opts = this.options;
    for (var i = 0; i < opts.length; i++) opts[i].selected = i === n;
});
define(ElementProto, 'innerHTML', function () { return N.html(this[ID]); },
    function (v) {
        N.setHTML(this[ID], v === null || v === undefined ? '' : String(v));
        exposeIds(this[ID]);
    });
define(ElementProto, 'outerHTML', function () { return N.outer(this[ID]); });
define(ElementProto, 'innerText', function () { return N.text(this[ID]); },
    function (v) { N.setText(this[ID], v === null || v === undefined ? '' : String(v)); });
method(ElementProto, 'getAttribute', function (n) {
    return N.getAttr(this[ID], String(n).toLowerCase());
});
method(ElementProto, 'setAttribute', function (n, v) {
    n = String(n).toLowerCase();
    N.setAttr(this[ID], n, String(v));
    if (n.slice(0, 2) === 'on') delete handlerStore(this)[n.slice(2)];
    if (n === 'id') exposeIds(this[ID]);
});
method(ElementProto, 'removeAttribute', function (n) {
    n = String(n).toLowerCase();
    N.removeAttr(this[ID], n);
    if (n.slice(0, 2) === 'on') delete handlerStore(this)[n.slice(2)];
});
method(ElementProto, 'hasAttribute', function (n) {
    return N.hasAttr(this[ID], String(n).toLowerCase());
});
define(ElementProto, 'attributes', function () {
    var pairs = N.attrs(this[ID]), out = [];
    for (var i = 0; i < pairs.length; i++) {
        out.push({ name: pairs[i][0], value: pairs[i][1], nodeName: pairs[i][0],
            nodeValue: pairs[i][1] });
    }
    return out;
});
function elementChildren(h) {
    var out = [];
    for (var c = N.first(h); c; c = N.next(c)) if (N.type(c) === 1) out.push(c);
    return out;
}
define(ElementProto, 'children', function () { return nodeList(elementChildren(this[ID])); });
define(ElementProto, 'childElementCount', function () { return elementChildren(this[ID]).length; });
define(ElementProto, 'firstElementChild', function () { return wrap(elementChildren(this[ID])[0] || 0); });
define(ElementProto, 'lastElementChild', function () {
    var c = elementChildren(this[ID]);
    return wrap(c[c.length - 1] || 0);
});
define(NodeProto, 'nextElementSibling', function () {
    for (var c = N.next(this[ID]); c; c = N.next(c)) if (N.type(c) === 1) return wrap(c);
    return null;
});
define(NodeProto, 'previousElementSibling', function () {
    for (var c = N.prev(this[ID]); c; c = N.prev(c)) if (N.type(c) === 1) return wrap(c);
    return null;
});
method(ElementProto, 'getElementsByTagName', function (t) { return nodeList(N.byTag(this[ID], String(t).toLowerCase())); });
method(ElementProto, 'getElementsByClassName', function (c) { return nodeList(N.byClass(this[ID], String(c))); });
method(ElementProto, 'querySelectorAll', function (s) { return select(this, s); });
method(ElementProto, 'querySelector', function (s) { return select(this, s)[0] || null; });
method(ElementProto, 'matches', function (s) { return matchesSelector(this, parseSelector(s)); });
define(ElementProto, 'style', function () { return styleOf(this); }, function (v) {
    N.setAttr(this[ID], 'style', String(v));
});
define(ElementProto, 'classList', function () {
    var el = this;
    function names() { return el.className.split(/\s+/).filter(function (x) { return x; }); }
    function store(a) { el.className = a.join(' '); }
    var list = {
        add: function () {
            var a = names();
            for (var i = 0; i < arguments.length; i++) if (a.indexOf(arguments[i]) < 0) a.push(arguments[i]);
            store(a);
        },
        remove: function () {
            var out = names(), drop = Array.prototype.slice.call(arguments);
            store(out.filter(function (x) { return drop.indexOf(x) < 0; }));
        },
        contains: function (n) { return names().indexOf(n) >= 0; },
        toggle: function (n) {
            if (list.contains(n)) { list.remove(n); return false; }
            list.add(n);
            return true;
        },
        item: function (i) { return names()[i] || null; }
    };
    define(list, 'length', function () { return names().length; });
    return list;
});
define(ElementProto, 'form', function () {
    for (var h = N.parent(this[ID]); h; h = N.parent(h)) if (N.type(h) === 1 && N.name(h) === 'form') return wrap(h);
    return null;
});
define(ElementProto, 'elements', function () {
    return nodeList(N.byTag(this[ID], '*').filter(function (h) {
        var n = N.name(h);
        return n === 'input' || n === 'select' || n === 'textarea' || n === 'button';
    }));
});
method(ElementProto, 'click', function () { hooks.click(this[ID]); });
method(ElementProto, 'submit', function () { if (N.name(this[ID]) === 'form') submitForm(this, null, false); });
method(ElementProto, 'reset', function () { });
method(ElementProto, 'focus', function () { });
method(ElementProto, 'blur', function () { });
method(ElementProto, 'scrollIntoView', function () { });
['offsetLeft', 'offsetTop', 'scrollLeft', 'scrollTop', 'clientLeft', 'clientTop'].forEach(function (n) {
    define(ElementProto, n, function () { return 0; }, function () { });
});
['offsetWidth', 'clientWidth', 'scrollWidth'].forEach(function (n) {
    define(ElementProto, n, function () { return this.width; });
});
['offsetHeight', 'clientHeight', 'scrollHeight'].forEach(function (n) {
    define(ElementProto, n, function () { return this.height; });
});
define(ElementProto, 'offsetParent', function () { return null; });
method(ElementProto, 'getBoundingClientRect', function () {
    var w = this.width, h = this.height;
    return { left: 0, top: 0, right: w, bottom: h, width: w, height: h, x: 0, y: 0 };
});

// ---- styles: the style attribute seen as an object ----------------------------------------------
function camel(k) { return k.replace(/-([a-z])/g, function (m, c) { return c.toUpperCase(); }); }
function dashed(k) { return k.replace(/[A-Z]/g, function (c) { return '-' + c.toLowerCase(); }); }
function parseStyle(text) {
    var o = {};
    String(text || '').split(';').forEach(function (d) {
        var i = d.indexOf(':');
        if (i > 0) {
            var k = d.slice(0, i).trim().toLowerCase();
            if (k) o[camel(k)] = d.slice(i + 1).trim();
        }
    });
    return o;
}
function styleOf(el) {
    if (el[STYLE]) return el[STYLE];
    var h = el[ID];
    function write(o) {
        var text = Object.keys(o).map(function (k) { return dashed(k) + ': ' + o[k]; }).join('; ');
        if (text) N.setAttr(h, 'style', text + ';'); else N.removeAttr(h, 'style');
    }
    var proxy = new Proxy({}, {
        get: function (t, k) {
            if (typeof k !== 'string') return undefined;
            if (k === 'cssText') return N.getAttr(h, 'style') || '';
            if (k === 'setProperty') return function (n, v) { proxy[camel(String(n))] = v; };
            if (k === 'removeProperty') return function (n) { proxy[camel(String(n))] = ''; };
            if (k === 'getPropertyValue') return function (n) { return proxy[camel(String(n))]; };
            var o = parseStyle(N.getAttr(h, 'style'));
            return Object.prototype.hasOwnProperty.call(o, k) ? o[k] : '';
        },
        set: function (t, k, v) {
            if (typeof k !== 'string') return true;
            if (k === 'cssText') { N.setAttr(h, 'style', String(v)); return true; }
            var o = parseStyle(N.getAttr(h, 'style'));
            if (v === null || v === undefined || v === '') delete o[k]; else o[k] = String(v);
            write(o);
            return true;
        }
    });
    Object.defineProperty(el, STYLE, { value: proxy });
    return proxy;
}

// ---- selectors: tags, ids, classes, attributes, descendant and child combinators ----------------
function parseSelector(text) {
    return String(text).split(',').map(function (group) {
        var parts = [], comb = ' ';
        var tokens = group.trim().replace(/\s*>\s*/g, ' > ').split(/\s+/);
        tokens.forEach(function (tok) {
            if (!tok) return;
            if (tok === '>') { comb = '>'; return; }
            var m = /^([a-zA-Z][\w-]*|\*)?((?:#[\w-]+|\.[\w-]+|\[[^\]]+\])*)$/.exec(tok);
            if (!m) throw new SyntaxError('Unsupported selector: ' + text);
            var c = { comb: comb, tag: m[1] ? m[1].toLowerCase() : '', id: null, classes: [], attrs: [] };
            var re = /#([\w-]+)|\.([\w-]+)|\[\s*([\w-]+)\s*(?:([~^$*|]?=)\s*["']?([^"'\]]*)["']?\s*)?\]/g, p;
            while ((p = re.exec(m[2])) !== null) {
                if (p[1]) c.id = p[1];
                else if (p[2]) c.classes.push(p[2]);
                else c.attrs.push({ name: p[3].toLowerCase(), op: p[4], value: p[5] });
            }
            parts.push(c);
            comb = ' ';
        });
        return parts;
    });
}
function matchesCompound(el, c) {
    if (c.tag && c.tag !== '*' && N.name(el[ID]) !== c.tag) return false;
    if (c.id !== null && N.getAttr(el[ID], 'id') !== c.id) return false;
    if (c.classes.length) {
        var names = (N.getAttr(el[ID], 'class') || '').split(/\s+/);
        for (var i = 0; i < c.classes.length; i++) if (names.indexOf(c.classes[i]) < 0) return false;
    }
    for (var j = 0; j < c.attrs.length; j++) {
        var a = c.attrs[j], v = N.getAttr(el[ID], a.name);
        if (v === null) return false;
        if (!a.op) continue;
        if (a.op === '=' && v !== a.value) return false;
        if (a.op === '^=' && v.indexOf(a.value) !== 0) return false;
        if (a.op === '$=' && v.slice(-a.value.length) !== a.value) return false;
        if (a.op === '*=' && v.indexOf(a.value) < 0) return false;
        if (a.op === '~=' && v.split(/\s+/).indexOf(a.value) < 0) return false;
    }
    return true;
}
function matchesParts(el, parts, i) {
    if (!matchesCompound(el, parts[i])) return false;
    if (i === 0) return true;
    var p = el.parentNode;
    if (parts[i].comb === '>') return !!p && p.nodeType === 1 && matchesParts(p, parts, i - 1);
    for (; p && p.nodeType === 1; p = p.parentNode) if (matchesParts(p, parts, i - 1)) return true;
    return false;
}
function matchesSelector(el, groups) {
    for (var g = 0; g < groups.length; g++) {
        if (groups[g].length && matchesParts(el, groups[g], groups[g].length - 1)) return true;
    }
    return false;
}
function select(root, text) {
    var groups = parseSelector(text);
    return nodeList(N.byTag(root[ID], '*').filter(function (h) { return matchesSelector(wrap(h), groups); }));
}

// ---- events -------------------------------------------------------------------------------------
function Event(type, init) {
    this.type = String(type);
    this.bubbles = !!(init && init.bubbles);
    this.cancelable = !!(init && init.cancelable);
    this.defaultPrevented = false;
    this.returnValue = true;
    this.target = null;
    this.currentTarget = null;
    this.eventPhase = 0;
    this.timeStamp = N.now();
    method(this, 'stopped', false);
    method(this, 'stoppedNow', false);
}
method(Event.prototype, 'preventDefault', function () {
    if (this.cancelable) { this.defaultPrevented = true; this.returnValue = false; }
});
method(Event.prototype, 'stopPropagation', function () { this.stopped = true; });
method(Event.prototype, 'stopImmediatePropagation', function () { this.stopped = true; this.stoppedNow = true; });
method(Event.prototype, 'initEvent', function (type, bubbles, cancelable) {
    this.type = String(type); this.bubbles = !!bubbles; this.cancelable = !!cancelable;
});
method(Event.prototype, 'initUIEvent', Event.prototype.initEvent);
method(Event.prototype, 'initMouseEvent', Event.prototype.initEvent);
function MouseEvent(type, init) {
    Event.call(this, type, init);
    this.button = 0; this.clientX = 0; this.clientY = 0; this.screenX = 0; this.screenY = 0;
    this.pageX = 0; this.pageY = 0; this.detail = 1;
}
MouseEvent.prototype = Object.create(Event.prototype);
function CustomEvent(type, init) {
    Event.call(this, type, init);
    this.detail = init && init.detail !== undefined ? init.detail : null;
}
CustomEvent.prototype = Object.create(Event.prototype);
method(CustomEvent.prototype, 'initCustomEvent', function (type, bubbles, cancelable, detail) {
    this.initEvent(type, bubbles, cancelable); this.detail = detail;
});

var EVENTS = ['click', 'dblclick', 'mousedown', 'mouseup', 'mouseover', 'mouseout', 'mousemove',
    'touchstart', 'touchend', 'touchmove', 'touchcancel', 'keydown', 'keyup', 'keypress', 'focus',
    'blur', 'change', 'input', 'submit', 'reset', 'load', 'unload', 'error', 'abort', 'resize',
    'scroll', 'select', 'readystatechange', 'orientationchange'];

function handlerStore(o) {
    if (!o[HANDLERS]) Object.defineProperty(o, HANDLERS, { value: {} });
    return o[HANDLERS];
}
function compileHandler(code) {
    try { return new Function('event', code); } catch (e) { report(e); return null; }
}
function handlerFor(node, type) {
    if (node === G) {
        var f = G['on' + type];
        return typeof f === 'function' ? f : null;
    }
    var s = handlerStore(node);
    if (Object.prototype.hasOwnProperty.call(s, type)) return s[type];
    if (node[ID] && N.type(node[ID]) === 1) {
        var code = N.getAttr(node[ID], 'on' + type);
        if (code !== null) return (s[type] = compileHandler(code));
    }
    return null;
}
EVENTS.forEach(function (type) {
    function get() { return handlerFor(this, type); }
    function set(f) {
        handlerStore(this)[type] = typeof f === 'function' ? f : null;
        if (type === 'click' && this[ID] && typeof f === 'function') N.clickable(this[ID]);
    }
    define(ElementProto, 'on' + type, get, set);
    define(DocumentProto, 'on' + type, get, set);
});

function listenerStore(o) {
    if (!o[LISTENERS]) Object.defineProperty(o, LISTENERS, { value: {} });
    return o[LISTENERS];
}
function addEventListener(type, fn, options) {
    if (!fn) return;
    var target = this === undefined || this === null ? G : this;
    var capture = options === true || !!(options && options.capture);
    var s = listenerStore(target), list = s[type] || (s[type] = []);
    for (var i = 0; i < list.length; i++) if (list[i].fn === fn && list[i].capture === capture) return;
    list.push({ fn: fn, capture: capture });
    if (type === 'click' && target[ID]) N.clickable(target[ID]);
}
function removeEventListener(type, fn, options) {
    var target = this === undefined || this === null ? G : this;
    var capture = options === true || !!(options && options.capture);
    var list = listenerStore(target)[type];
    if (!list) return;
    for (var i = 0; i < list.length; i++) {
        if (list[i].fn === fn && list[i].capture === capture) { list.splice(i, 1); return; }
    }
}
function eventParent(n) {
    if (n === G) return null;
    if (n === documentObj) return G;
    return wrap(N.parent(n[ID]));
}
function invoke(node, ev, capture) {
    ev.currentTarget = node;
    if (!capture) {
        var h = handlerFor(node, ev.type);
        if (h) {
            var r;
            try { r = h.call(node, ev); } catch (e) { report(e); }
            if (r === false) ev.preventDefault();
        }
    }
    var list = node[LISTENERS] && node[LISTENERS][ev.type];
    if (!list) return;
    list = list.slice();
    for (var i = 0; i < list.length && !ev.stoppedNow; i++) {
        if (list[i].capture !== capture) continue;
        try {
            var f = list[i].fn;
            if (typeof f === 'function') f.call(node, ev); else if (f && typeof f.handleEvent === 'function') f.handleEvent(ev);
        } catch (e) { report(e); }
    }
}
function dispatch(target, ev) {
    var path = [];
    for (var n = target; n; n = eventParent(n)) path.push(n);
    if (!ev.target) ev.target = target;
    ev.eventPhase = 1;
    for (var i = path.length - 1; i > 0 && !ev.stopped; i--) invoke(path[i], ev, true);
    for (i = 0; i < path.length && !ev.stopped; i++) {
        if (i > 0 && !ev.bubbles) break;
        ev.eventPhase = i === 0 ? 2 : 3;
        if (i === 0) invoke(path[0], ev, true);
        if (!ev.stopped) invoke(path[i], ev, false);
    }
    ev.currentTarget = null;
    ev.eventPhase = 0;
    return !ev.defaultPrevented;
}
method(EventTargetProto, 'addEventListener', addEventListener);
method(EventTargetProto, 'removeEventListener', removeEventListener);
method(EventTargetProto, 'dispatchEvent', function (ev) { ev.target = null; return dispatch(this, ev); });

// ---- activation: links and forms ----------------------------------------------------------------
function runJavaScriptURL(url) {
    var code = String(url).replace(/^\s*javascript:/i, '');
    try { code = decodeURIComponent(code); } catch (e) { }
    try { (0, eval)(code); } catch (e) { report(e); }
}
function followLink(a) {
    var href = N.getAttr(a[ID], 'href');
    if (href === null) return;
    if (/^\s*javascript:/i.test(href)) { runJavaScriptURL(href); return; }
    N.navigate(href, 0, '', '');
}
function formData(form, submitter) {
    var pairs = [];
    N.byTag(form[ID], '*').forEach(function (h) {
        var tag = N.name(h);
        if (tag !== 'input' && tag !== 'select' && tag !== 'textarea' && tag !== 'button') return;
        var c = wrap(h), name = c.getAttribute('name');
        if (!name || c.hasAttribute('disabled')) return;
        var type = c.type;
        if (tag === 'button' || type === 'submit' || type === 'image') {
            if (c === submitter) pairs.push([name, c.getAttribute('value') || '']);
            return;
        }
        if (type === 'button' || type === 'reset' || type === 'file') return;
        if ((type === 'checkbox' || type === 'radio') && !c.hasAttribute('checked')) return;
        pairs.push([name, c.value]);
    });
    return pairs.map(function (p) {
        return encodeURIComponent(p[0]).replace(/%20/g, '+') + '=' + encodeURIComponent(p[1]).replace(/%20/g, '+');
    }).join('&');
}
function submitForm(form, submitter, fireEvent) {
    if (fireEvent && !dispatch(form, new Event('submit', { bubbles: true, cancelable: true }))) return;
    var action = N.getAttr(form[ID], 'action');
    if (action === null || action === '') action = N.url();
    if (/^\s*javascript:/i.test(action)) { runJavaScriptURL(action); return; }
    var data = formData(form, submitter);
    if ((N.getAttr(form[ID], 'method') || 'get').toLowerCase() === 'post') {
        N.navigate(action, 1, 'POST', data);
    } else {
        N.navigate(String(action).replace(/[?#].*$/, '') + '?' + data, 1, 'GET', '');
    }
}
function activate(el) {
    for (var n = el; n && n.nodeType === 1; n = n.parentNode) {
        var tag = N.name(n[ID]);
        if (tag === 'a' || tag === 'area') {
            if (N.hasAttr(n[ID], 'href')) followLink(n);
            return;
        }
        if ((tag === 'input' && (n.type === 'submit' || n.type === 'image')) ||
            (tag === 'button' && n.type === 'submit')) {
            var f = n.form;
            if (f) submitForm(f, n, true);
            return;
        }
        if (tag === 'input' && (n.type === 'checkbox' || n.type === 'radio')) {
            n.checked = n.type === 'radio' ? true : !n.checked;
            return;
        }
    }
}

// ---- the document -------------------------------------------------------------------------------
var documentObj = wrap(N.root());
function rootElement() { return wrap(elementChildren(N.root())[0] || 0); }
function firstTag(name) { return wrap(N.byTag(N.root(), name)[0] || 0); }
define(DocumentProto, 'documentElement', rootElement);
define(DocumentProto, 'head', function () { return firstTag('head'); });
define(DocumentProto, 'body', function () { return firstTag('body'); });
define(DocumentProto, 'title', function () {
    var t = firstTag('title');
    return t ? N.text(t[ID]).replace(/\s+/g, ' ').trim() : '';
}, function (v) {
    var t = firstTag('title');
    if (!t) {
        t = wrap(N.create('title'));
        this.head.appendChild(t);
    }
    N.setText(t[ID], String(v));
});
method(DocumentProto, 'getElementById', function (id) { return wrap(N.byId(String(id))); });
method(DocumentProto, 'getElementsByTagName', function (t) { return nodeList(N.byTag(N.root(), String(t).toLowerCase())); });
method(DocumentProto, 'getElementsByName', function (n) { return nodeList(N.byName(String(n))); });
method(DocumentProto, 'getElementsByClassName', function (c) { return nodeList(N.byClass(N.root(), String(c))); });
method(DocumentProto, 'querySelectorAll', function (s) { return select(this, s); });
method(DocumentProto, 'querySelector', function (s) { return select(this, s)[0] || null; });
method(DocumentProto, 'createElement', function (t) { return wrap(N.create(String(t).toLowerCase())); });
method(DocumentProto, 'createTextNode', function (s) { return wrap(N.createText(String(s))); });
method(DocumentProto, 'createComment', function (s) { return wrap(N.createComment(String(s))); });
method(DocumentProto, 'createDocumentFragment', function () {
    var w = Object.create(NodeProto);
    Object.defineProperty(w, ID, { value: N.create('div') });
    Object.defineProperty(w, FRAGMENT, { value: true });
    return w;
});
method(DocumentProto, 'createEvent', function (kind) {
    return /Mouse/.test(String(kind)) ? new MouseEvent('') : /Custom/.test(String(kind)) ? new CustomEvent('') : new Event('');
});
method(DocumentProto, 'write', function () { N.write(Array.prototype.join.call(arguments, '')); });
method(DocumentProto, 'writeln', function () { N.write(Array.prototype.join.call(arguments, '') + '\n'); });
method(DocumentProto, 'open', function () { return this; });
method(DocumentProto, 'close', function () { });
method(DocumentProto, 'hasFocus', function () { return true; });
define(DocumentProto, 'readyState', function () { return N.readyState(); });
define(DocumentProto, 'referrer', function () { return N.referrer(); });
define(DocumentProto, 'URL', function () { return N.url(); });
define(DocumentProto, 'documentURI', function () { return N.url(); });
define(DocumentProto, 'domain', function () { return location.hostname; });
define(DocumentProto, 'defaultView', function () { return G; });
define(DocumentProto, 'activeElement', function () { return this.body; });
define(DocumentProto, 'characterSet', function () { return 'UTF-8'; });
define(DocumentProto, 'charset', function () { return 'UTF-8'; });
define(DocumentProto, 'compatMode', function () { return 'CSS1Compat'; });
define(DocumentProto, 'images', function () { return this.getElementsByTagName('img'); });
define(DocumentProto, 'forms', function () { return this.getElementsByTagName('form'); });
define(DocumentProto, 'scripts', function () { return this.getElementsByTagName('script'); });
define(DocumentProto, 'links', function () {
    return nodeList(N.byTag(N.root(), '*').filter(function (h) {
        var n = N.name(h);
        return (n === 'a' || n === 'area') && N.hasAttr(h, 'href');
    }));
});
var cookies = {};
define(DocumentProto, 'cookie', function () {
    return Object.keys(cookies).map(function (k) { return k + '=' + cookies[k]; }).join('; ');
}, function (v) {
    var parts = String(v).split(';'), first = parts[0], eq = first.indexOf('=');
    if (eq < 0) return;
    var name = first.slice(0, eq).trim(), value = first.slice(eq + 1).trim(), expired = false;
    for (var i = 1; i < parts.length; i++) {
        var p = parts[i].trim(), lower = p.toLowerCase();
        if (lower.indexOf('expires=') === 0 && Date.parse(p.slice(8)) < N.now()) expired = true;
        if (lower.indexOf('max-age=') === 0 && parseFloat(p.slice(8)) <= 0) expired = true;
    }
    if (expired) delete cookies[name]; else cookies[name] = value;
});

// ---- location -----------------------------------------------------------------------------------
function urlParts(u) {
    var m = /^([a-zA-Z][a-zA-Z0-9+.-]*:)?(\/\/([^\/?#]*))?([^?#]*)(\?[^#]*)?(#.*)?$/.exec(u) || [];
    var host = m[3] || '', at = host.lastIndexOf('@');
    if (at >= 0) host = host.slice(at + 1);
    var colon = host.lastIndexOf(':');
    var hostname = colon >= 0 && host.indexOf(']') < colon ? host.slice(0, colon) : host;
    var port = colon >= 0 && host.indexOf(']') < colon ? host.slice(colon + 1) : '';
    return { protocol: m[1] || '', host: host, hostname: hostname, port: port,
        pathname: m[4] || (m[2] ? '/' : ''), search: m[5] && m[5] !== '?' ? m[5] : '',
        hash: m[6] && m[6] !== '#' ? m[6] : '' };
}
function go(u, type) {
    u = String(u);
    if (/^\s*javascript:/i.test(u)) { runJavaScriptURL(u); return; }
    N.navigate(u, type === undefined ? 5 : type, '', '');
}
var location = {};
define(location, 'href', function () { return N.url(); }, function (v) { go(v); });
['protocol', 'host', 'hostname', 'port', 'pathname', 'search', 'hash'].forEach(function (k) {
    define(location, k, function () { return urlParts(N.url())[k]; }, function (v) {
        var p = urlParts(N.url());
        v = String(v);
        if (k === 'hash') { go((v.charAt(0) === '#' ? '' : '#') + v); return; }
        if (k === 'search') { go(p.protocol + '//' + p.host + p.pathname + (v && v.charAt(0) !== '?' ? '?' : '') + v); return; }
        if (k === 'pathname') { go(p.protocol + '//' + p.host + (v.charAt(0) === '/' ? '' : '/') + v + p.search); return; }
        if (k === 'protocol') { go(v.replace(/:?$/, ':') + '//' + p.host + p.pathname + p.search + p.hash); return; }
        if (k === 'port') { go(p.protocol + '//' + p.hostname + (v ? ':' + v : '') + p.pathname + p.search + p.hash); return; }
        if (k === 'hostname') { go(p.protocol + '//' + v + (p.port ? ':' + p.port : '') + p.pathname + p.search + p.hash); return; }
        go(p.protocol + '//' + v + p.pathname + p.search + p.hash);
    });
});
define(location, 'origin', function () { var p = urlParts(N.url()); return p.protocol + '//' + p.host; });
method(location, 'assign', function (u) { go(u); });
method(location, 'replace', function (u) { go(u); });
method(location, 'reload', function () { N.navigate(N.url(), 3, '', ''); });
method(location, 'toString', function () { return N.url(); });
method(location, 'valueOf', function () { return N.url(); });
define(G, 'location', function () { return location; }, function (v) { go(v); });
define(DocumentProto, 'location', function () { return location; }, function (v) { go(v); });

// ---- timers -------------------------------------------------------------------------------------
var timers = {};
function addTimer(fn, ms, args, repeat) {
    var id = N.setTimer(+ms || 0, repeat);
    if (id) timers[id] = { fn: fn, args: args, repeat: repeat };
    return id;
}
G.setTimeout = function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), false); };
G.setInterval = function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), true); };
G.clearTimeout = G.clearInterval = function (id) {
    if (timers[id]) { delete timers[id]; N.clearTimer(id); }
};
G.requestAnimationFrame = function (fn) { return G.setTimeout(function () { fn(N.now()); }, 16); };
G.cancelAnimationFrame = G.clearTimeout;
hooks.fire = function (id) {
    var t = timers[id];
    if (!t) return;
    if (!t.repeat) delete timers[id];
    if (typeof t.fn === 'function') t.fn.apply(G, t.args); else (0, eval)(String(t.fn));
};

// ---- the window ---------------------------------------------------------------------------------
var viewport = function (i) { return N.viewport()[i]; };
G.window = G; G.self = G; G.top = G; G.parent = G; G.frames = G;
G.opener = null; G.closed = false; G.name = '';
G.document = documentObj;
G.Node = Node; G.Element = Element; G.HTMLElement = Element; G.Document = Document;
G.HTMLDocument = Document; G.Text = Text;
G.Event = Event; G.MouseEvent = MouseEvent; G.CustomEvent = CustomEvent;
var ua = N.userAgent();
G.navigator = { userAgent: ua, appVersion: ua.replace(/^Mozilla\//, ''), appName: 'Netscape',
    appCodeName: 'Mozilla', platform: 'iPhone', language: 'en-us', languages: ['en-us'],
    cookieEnabled: true, onLine: true, standalone: false, vendor: '',
    javaEnabled: function () { return false; } };
G.screen = { width: 320, height: 480, availWidth: 320, availHeight: 460, colorDepth: 32, pixelDepth: 32 };
define(G, 'innerWidth', function () { return viewport(0); }, function () { });
define(G, 'innerHeight', function () { return viewport(1); }, function () { });
define(G, 'outerWidth', function () { return viewport(0); }, function () { });
define(G, 'outerHeight', function () { return viewport(1); }, function () { });
G.devicePixelRatio = 1;
G.orientation = 0;
G.pageXOffset = 0; G.pageYOffset = 0; G.scrollX = 0; G.scrollY = 0;
EVENTS.forEach(function (type) { G['on' + type] = null; });
G.onorientationchange = null;
G.scrollTo = G.scrollBy = G.scroll = G.focus = G.blur = G.print = G.stop = function () { };
G.close = function () { };
G.open = function () { return null; };
G.alert = function (m) { N.log('JavaScript alert: ' + String(m)); };
G.confirm = function (m) { N.log('JavaScript confirm: ' + String(m)); return true; };
G.prompt = function () { return null; };
G.getComputedStyle = function (el) { return el && el.style ? el.style : {}; };
G.addEventListener = addEventListener;
G.removeEventListener = removeEventListener;
G.dispatchEvent = function (ev) { ev.target = null; return dispatch(G, ev); };
G.Image = function (w, h) {
    var img = documentObj.createElement('img');
    if (w !== undefined) img.width = w;
    if (h !== undefined) img.height = h;
    return img;
};
function logger() { return function () { N.log(Array.prototype.map.call(arguments, String).join(' ')); }; }
G.console = { log: logger(), info: logger(), warn: logger(), error: logger(), debug: logger() };
function Storage() {
    var items = {};
    var s = {
        getItem: function (k) { k = String(k); return Object.prototype.hasOwnProperty.call(items, k) ? items[k] : null; },
        setItem: function (k, v) { items[String(k)] = String(v); },
        removeItem: function (k) { delete items[String(k)]; },
        clear: function () { items = {}; },
        key: function (i) { return Object.keys(items)[i] || null; }
    };
    define(s, 'length', function () { return Object.keys(items).length; });
    return s;
}
G.localStorage = Storage();
G.sessionStorage = Storage();
var B64 = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
G.btoa = function (s) {
    s = String(s);
    var out = '';
    for (var i = 0; i < s.length; i += 3) {
        var a = s.charCodeAt(i), b = s.charCodeAt(i + 1), c = s.charCodeAt(i + 2);
        if (a > 255 || b > 255 || c > 255) throw new Error('InvalidCharacterError');
        var n = (a << 16) | ((b || 0) << 8) | (c || 0);
        out += B64.charAt(n >> 18) + B64.charAt((n >> 12) & 63) +
            (i + 1 < s.length ? B64.charAt((n >> 6) & 63) : '=') + (i + 2 < s.length ? B64.charAt(n & 63) : '=');
    }
    return out;
};
G.atob = function (s) {
    s = String(s).replace(/[\s=]/g, '');
    var out = '', bits = 0, acc = 0;
    for (var i = 0; i < s.length; i++) {
        var v = B64.indexOf(s.charAt(i));
        if (v < 0) throw new Error('InvalidCharacterError');
        acc = (acc << 6) | v; bits += 6;
        if (bits >= 8) { bits -= 8; out += String.fromCharCode((acc >> bits) & 255); }
    }
    return out;
};

// ---- hooks for the native side ------------------------------------------------------------------
hooks.click = function (h) {
    var el = wrap(h);
    if (!el) return false;
    if (dispatch(el, new MouseEvent('click', { bubbles: true, cancelable: true }))) activate(el);
    return true;
};
hooks.enterText = function (h, text) {
    var el = wrap(h), tag = N.name(h);
    if (tag === 'select') {
        var opts = el.options;
        for (var i = 0; i < opts.length; i++) {
            if (opts[i].value === text || opts[i].textContent.trim() === text) {
                el.selectedIndex = i;
                dispatch(el, new Event('change', { bubbles: true }));
                return true;
            }
        }
        return false;
    }
    if (tag !== 'textarea' && !(tag === 'input' &&
        !/^(submit|button|reset|image|checkbox|radio|hidden|file)$/.test(el.type))) return false;
    el.value = text;
    dispatch(el, new Event('input', { bubbles: true }));
    dispatch(el, new Event('change', { bubbles: true }));
    return true;
};
hooks.bodyOnload = function (h) {
    var code = N.getAttr(h, 'onload');
    if (code !== null) G.onload = compileHandler(code);
};
hooks.domContentLoaded = function () {
    dispatch(documentObj, new Event('DOMContentLoaded', { bubbles: true }));
};
hooks.load = function () {
    var ev = new Event('load');
    ev.target = documentObj;
    dispatch(G, ev);
};
return hooks;
})JS";

}  // namespace webcontent
