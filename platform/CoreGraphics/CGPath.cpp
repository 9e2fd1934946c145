#include "CoreGraphics/CGPath.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr CGFloat kPi = 3.14159265358979323846f;

CGPoint apply(const CGAffineTransform* t, CGPoint p) {
    return t ? CGPointApplyAffineTransform(p, *t) : p;
}

CGPoint add(CGPoint a, CGPoint b) {
    return {a.x + b.x, a.y + b.y};
}
CGPoint sub(CGPoint a, CGPoint b) {
    return {a.x - b.x, a.y - b.y};
}
CGPoint scale(CGPoint a, CGFloat s) {
    return {a.x * s, a.y * s};
}
CGFloat dot(CGPoint a, CGPoint b) {
    return a.x * b.x + a.y * b.y;
}
CGFloat cross(CGPoint a, CGPoint b) {
    return a.x * b.y - a.y * b.x;
}
CGFloat length(CGPoint a) {
    return std::hypot(a.x, a.y);
}
CGPoint normalized(CGPoint a) {
    CGFloat l = length(a);
    return l > 0 ? scale(a, 1 / l) : CGPoint{0, 0};
}

CGPoint cubicAt(CGPoint p0, CGPoint p1, CGPoint p2, CGPoint p3, CGFloat t) {
    CGFloat u = 1 - t;
    CGFloat a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

// Parameters in (0, 1) where one coordinate of a cubic has an extreme.
void cubicExtremes(CGFloat p0, CGFloat p1, CGFloat p2, CGFloat p3, std::vector<CGFloat>& ts) {
    // Derivative: 3[(p1-p0)(1-t)^2 + 2(p2-p1)t(1-t) + (p3-p2)t^2] = a t^2 + b t + c.
    double a = -p0 + 3.0 * p1 - 3.0 * p2 + p3;
    double b = 2.0 * (p0 - 2.0 * p1 + p2);
    double c = p1 - p0;
    if (std::fabs(a) < 1e-12) {
        if (std::fabs(b) > 1e-12) ts.push_back(CGFloat(-c / b));
        return;
    }
    double disc = b * b - 4 * a * c;
    if (disc < 0) return;
    double s = std::sqrt(disc);
    ts.push_back(CGFloat((-b + s) / (2 * a)));
    ts.push_back(CGFloat((-b - s) / (2 * a)));
}

void includePoint(CGRect& r, bool& any, CGPoint p) {
    if (!any) {
        r = CGRectMake(p.x, p.y, 0, 0);
        any = true;
        return;
    }
    CGFloat minX = std::min(r.origin.x, p.x), minY = std::min(r.origin.y, p.y);
    CGFloat maxX = std::max(r.origin.x + r.size.width, p.x);
    CGFloat maxY = std::max(r.origin.y + r.size.height, p.y);
    r = CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

// A polygon approximating a circle, counter-clockwise in the mathematical sense.
std::vector<CGPoint> circlePolygon(CGPoint c, CGFloat r, CGFloat tolerance) {
    int n = 8;
    if (r > tolerance) {
        CGFloat step = 2 * std::acos(std::max(-1.0f, 1 - tolerance / r));
        if (step > 0) n = std::clamp(int(std::ceil(2 * kPi / step)), 8, 256);
    }
    std::vector<CGPoint> pts;
    for (int i = 0; i < n; ++i) {
        CGFloat a = 2 * kPi * CGFloat(i) / CGFloat(n);
        pts.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    return pts;
}

CGFloat signedArea(const std::vector<CGPoint>& poly) {
    CGFloat a = 0;
    for (size_t i = 0, n = poly.size(); i < n; ++i)
        a += cross(poly[i], poly[(i + 1) % n]);
    return a / 2;
}

}  // namespace

// ---- CGPathData ---------------------------------------------------------------------------------

void CGPathData::clear() {
    elements.clear();
    current = subpathStart = CGPoint{};
    hasCurrent = false;
}

void CGPathData::moveTo(CGPoint p) {
    // A move right after a move replaces it: an empty subpath leaves nothing behind.
    if (!elements.empty() && elements.back().type == kCGPathElementMoveToPoint) {
        elements.back().p[0] = p;
    } else {
        elements.push_back({kCGPathElementMoveToPoint, {p, {}, {}}});
    }
    current = subpathStart = p;
    hasCurrent = true;
}

void CGPathData::lineTo(CGPoint p) {
    if (!hasCurrent) moveTo(p);
    elements.push_back({kCGPathElementAddLineToPoint, {p, {}, {}}});
    current = p;
}

void CGPathData::curveTo(CGPoint c1, CGPoint c2, CGPoint p) {
    if (!hasCurrent) moveTo(c1);
    elements.push_back({kCGPathElementAddCurveToPoint, {c1, c2, p}});
    current = p;
}

void CGPathData::quadTo(CGPoint c, CGPoint p) {
    if (!hasCurrent) moveTo(c);
    // Stored as the exact cubic.
    CGPoint p0 = current;
    CGPoint c1 = add(p0, scale(sub(c, p0), 2.0f / 3));
    CGPoint c2 = add(p, scale(sub(c, p), 2.0f / 3));
    elements.push_back({kCGPathElementAddCurveToPoint, {c1, c2, p}});
    current = p;
}

void CGPathData::close() {
    if (!hasCurrent || elements.empty()) return;
    if (elements.back().type == kCGPathElementCloseSubpath) return;
    elements.push_back({kCGPathElementCloseSubpath, {}});
    current = subpathStart;
}

void CGPathData::append(const CGPathData& other, const CGAffineTransform* t) {
    for (const auto& e : other.elements) {
        switch (e.type) {
            case kCGPathElementMoveToPoint:
                moveTo(apply(t, e.p[0]));
                break;
            case kCGPathElementAddLineToPoint:
                lineTo(apply(t, e.p[0]));
                break;
            case kCGPathElementAddQuadCurveToPoint:
                quadTo(apply(t, e.p[0]), apply(t, e.p[1]));
                break;
            case kCGPathElementAddCurveToPoint:
                curveTo(apply(t, e.p[0]), apply(t, e.p[1]), apply(t, e.p[2]));
                break;
            case kCGPathElementCloseSubpath:
                close();
                break;
        }
    }
}

void CGPathData::addArc(CGPoint c, CGFloat r, CGFloat start, CGFloat end, bool clockwise,
                        const CGAffineTransform* t) {
    r = std::fabs(r);
    CGFloat sweep = end - start;
    const CGFloat full = 2 * kPi;
    if (std::fabs(sweep) >= full - 1e-5f) {
        sweep = clockwise ? -full : full;
    } else {
        sweep = std::fmod(sweep, full);
        if (!clockwise && sweep < 0) sweep += full;
        if (clockwise && sweep > 0) sweep -= full;
    }
    CGPoint first{c.x + r * std::cos(start), c.y + r * std::sin(start)};
    if (hasCurrent) {
        lineTo(apply(t, first));
    } else {
        moveTo(apply(t, first));
    }
    if (r == 0 || sweep == 0) return;
    int n = std::max(1, int(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-4f)));
    CGFloat step = sweep / CGFloat(n);
    CGFloat k = 4.0f / 3 * std::tan(step / 4);
    CGFloat a = start;
    for (int i = 0; i < n; ++i) {
        CGFloat b = a + step;
        CGPoint p0{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        CGPoint p3{c.x + r * std::cos(b), c.y + r * std::sin(b)};
        CGPoint c1{p0.x - k * r * std::sin(a), p0.y + k * r * std::cos(a)};
        CGPoint c2{p3.x + k * r * std::sin(b), p3.y - k * r * std::cos(b)};
        curveTo(apply(t, c1), apply(t, c2), apply(t, p3));
        a = b;
    }
}

void CGPathData::addArcToPoint(CGPoint p1, CGPoint p2, CGFloat radius, const CGAffineTransform* t) {
    if (!hasCurrent) {
        moveTo(apply(t, p1));
        return;
    }
    // The current point back in the caller's coordinates.
    CGPoint p0 = current;
    if (t) p0 = CGPointApplyAffineTransform(p0, CGAffineTransformInvert(*t));
    CGPoint v1 = sub(p0, p1), v2 = sub(p2, p1);
    CGFloat l1 = length(v1), l2 = length(v2);
    CGFloat r = std::fabs(radius);
    const CGFloat eps = 1e-6f * std::max({CGFloat(1), l1, l2});
    if (r == 0 || l1 <= eps || l2 <= eps || std::fabs(cross(v1, v2)) <= eps * std::max(l1, l2)) {
        lineTo(apply(t, p1));
        return;
    }
    CGPoint n1 = scale(v1, 1 / l1), n2 = scale(v2, 1 / l2);
    CGFloat cosTheta = std::clamp(dot(n1, n2), -1.0f, 1.0f);
    CGFloat theta = std::acos(cosTheta);  // the angle at p1, in (0, pi)
    CGFloat d = r / std::tan(theta / 2);
    CGPoint t1 = add(p1, scale(n1, d));
    CGPoint t2 = add(p1, scale(n2, d));
    CGPoint bis = normalized(add(n1, n2));
    CGPoint centre = add(p1, scale(bis, r / std::sin(theta / 2)));
    CGFloat a1 = std::atan2(t1.y - centre.y, t1.x - centre.x);
    CGFloat a2 = std::atan2(t2.y - centre.y, t2.x - centre.x);
    CGFloat sweep = a2 - a1;
    while (sweep > kPi)
        sweep -= 2 * kPi;
    while (sweep < -kPi)
        sweep += 2 * kPi;
    addArc(centre, r, a1, a1 + sweep, sweep < 0, t);
}

void CGPathData::addRect(CGRect rc, const CGAffineTransform* t) {
    CGRect r = CGRectStandardize(rc);
    CGFloat x0 = r.origin.x, y0 = r.origin.y;
    CGFloat x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    moveTo(apply(t, {x0, y0}));
    lineTo(apply(t, {x1, y0}));
    lineTo(apply(t, {x1, y1}));
    lineTo(apply(t, {x0, y1}));
    close();
}

void CGPathData::addEllipse(CGRect rc, const CGAffineTransform* t) {
    CGRect r = CGRectStandardize(rc);
    CGFloat cx = r.origin.x + r.size.width / 2, cy = r.origin.y + r.size.height / 2;
    CGFloat rx = r.size.width / 2, ry = r.size.height / 2;
    const CGFloat k = 0.5522847498f;
    CGPoint p[4] = {{cx + rx, cy}, {cx, cy + ry}, {cx - rx, cy}, {cx, cy - ry}};
    moveTo(apply(t, p[0]));
    curveTo(apply(t, {cx + rx, cy + k * ry}), apply(t, {cx + k * rx, cy + ry}), apply(t, p[1]));
    curveTo(apply(t, {cx - k * rx, cy + ry}), apply(t, {cx - rx, cy + k * ry}), apply(t, p[2]));
    curveTo(apply(t, {cx - rx, cy - k * ry}), apply(t, {cx - k * rx, cy - ry}), apply(t, p[3]));
    curveTo(apply(t, {cx + k * rx, cy - ry}), apply(t, {cx + rx, cy - k * ry}), apply(t, p[0]));
    close();
}

void CGPathData::addRoundedRect(CGRect rc, CGFloat cw, CGFloat ch, const CGAffineTransform* t) {
    CGRect r = CGRectStandardize(rc);
    cw = std::clamp(cw, 0.0f, r.size.width / 2);
    ch = std::clamp(ch, 0.0f, r.size.height / 2);
    if (cw == 0 || ch == 0) {
        addRect(r, t);
        return;
    }
    CGFloat x0 = r.origin.x, y0 = r.origin.y;
    CGFloat x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    const CGFloat k = 0.5522847498f;
    moveTo(apply(t, {x1, y0 + ch}));
    lineTo(apply(t, {x1, y1 - ch}));
    curveTo(apply(t, {x1, y1 - ch + k * ch}), apply(t, {x1 - cw + k * cw, y1}),
            apply(t, {x1 - cw, y1}));
    lineTo(apply(t, {x0 + cw, y1}));
    curveTo(apply(t, {x0 + cw - k * cw, y1}), apply(t, {x0, y1 - ch + k * ch}),
            apply(t, {x0, y1 - ch}));
    lineTo(apply(t, {x0, y0 + ch}));
    curveTo(apply(t, {x0, y0 + ch - k * ch}), apply(t, {x0 + cw - k * cw, y0}),
            apply(t, {x0 + cw, y0}));
    lineTo(apply(t, {x1 - cw, y0}));
    curveTo(apply(t, {x1 - cw + k * cw, y0}), apply(t, {x1, y0 + ch - k * ch}),
            apply(t, {x1, y0 + ch}));
    close();
}

CGRect CGPathData::boundingBox() const {
    CGRect r = CGRectNull;
    bool any = false;
    for (const auto& e : elements) {
        int n = e.type == kCGPathElementAddCurveToPoint ? 3
                : e.type == kCGPathElementCloseSubpath  ? 0
                                                        : 1;
        for (int i = 0; i < n; ++i)
            includePoint(r, any, e.p[i]);
    }
    return r;
}

bool CGPathData::coversRect(CGRect r) const {
    // A move, three lines and a close: what addRect makes.
    if (elements.size() != 5 || elements[0].type != kCGPathElementMoveToPoint ||
        elements[4].type != kCGPathElementCloseSubpath)
        return false;
    CGPoint q[4];
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0 && elements[i].type != kCGPathElementAddLineToPoint) return false;
        q[i] = elements[i].p[0];
    }
    // Each side runs along one axis, alternately.
    bool firstAlongX = q[0].y == q[1].y;
    for (size_t i = 0; i < 4; ++i) {
        const CGPoint a = q[i], b = q[(i + 1) % 4];
        const bool alongX = (i % 2 == 0) == firstAlongX;
        if (alongX ? a.y != b.y : a.x != b.x) return false;
    }
    r = CGRectStandardize(r);
    const CGFloat x0 = std::min({q[0].x, q[1].x, q[2].x}), x1 = std::max({q[0].x, q[1].x, q[2].x});
    const CGFloat y0 = std::min({q[0].y, q[1].y, q[2].y}), y1 = std::max({q[0].y, q[1].y, q[2].y});
    return x0 <= r.origin.x && y0 <= r.origin.y && x1 >= CGRectGetMaxX(r) && y1 >= CGRectGetMaxY(r);
}

CGRect CGPathData::pathBoundingBox() const {
    CGRect r = CGRectNull;
    bool any = false;
    CGPoint cur{}, start{};
    for (const auto& e : elements) {
        switch (e.type) {
            case kCGPathElementMoveToPoint:
                cur = start = e.p[0];
                includePoint(r, any, cur);
                break;
            case kCGPathElementAddLineToPoint:
            case kCGPathElementAddQuadCurveToPoint:
                cur = e.p[0];
                includePoint(r, any, cur);
                break;
            case kCGPathElementAddCurveToPoint: {
                std::vector<CGFloat> ts;
                cubicExtremes(cur.x, e.p[0].x, e.p[1].x, e.p[2].x, ts);
                cubicExtremes(cur.y, e.p[0].y, e.p[1].y, e.p[2].y, ts);
                for (CGFloat tt : ts) {
                    if (tt > 0 && tt < 1)
                        includePoint(r, any, cubicAt(cur, e.p[0], e.p[1], e.p[2], tt));
                }
                cur = e.p[2];
                includePoint(r, any, cur);
                break;
            }
            case kCGPathElementCloseSubpath:
                cur = start;
                break;
        }
    }
    return r;
}

std::vector<CGPathData::Polyline> CGPathData::flatten(CGFloat tolerance) const {
    std::vector<Polyline> out;
    tolerance = std::max(tolerance, 1e-3f);
    CGPoint cur{}, start{};
    for (const auto& e : elements) {
        switch (e.type) {
            case kCGPathElementMoveToPoint:
                cur = start = e.p[0];
                out.push_back({{cur}, false});
                break;
            case kCGPathElementAddLineToPoint:
            case kCGPathElementAddQuadCurveToPoint:
                if (out.empty()) out.push_back({{cur}, false});
                cur = e.p[0];
                out.back().points.push_back(cur);
                break;
            case kCGPathElementAddCurveToPoint: {
                if (out.empty()) out.push_back({{cur}, false});
                CGPoint p1 = e.p[0], p2 = e.p[1], p3 = e.p[2];
                CGPoint dd1 = add(sub(cur, scale(p1, 2)), p2);
                CGPoint dd2 = add(sub(p1, scale(p2, 2)), p3);
                CGFloat d = std::max(length(dd1), length(dd2));
                int n = std::clamp(int(std::ceil(std::sqrt(0.75f * d / tolerance))), 1, 1000);
                for (int i = 1; i <= n; ++i) {
                    out.back().points.push_back(cubicAt(cur, p1, p2, p3, CGFloat(i) / CGFloat(n)));
                }
                cur = p3;
                break;
            }
            case kCGPathElementCloseSubpath:
                if (!out.empty()) {
                    out.back().closed = true;
                    cur = start;
                    // Drawing after a close starts a new subpath at the same point.
                    out.push_back({{cur}, false});
                }
                break;
        }
    }
    // Subpaths that hold only their start point draw nothing.
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const Polyline& p) { return p.points.size() < 2; }),
              out.end());
    return out;
}

bool CGPathData::containsPoint(CGPoint p, bool evenOdd) const {
    int winding = 0, crossings = 0;
    for (const auto& poly : flatten(0.05f)) {
        const auto& pts = poly.points;
        for (size_t i = 0, n = pts.size(); i < n; ++i) {
            // Every subpath is closed for filling.
            CGPoint a = pts[i], b = pts[(i + 1) % n];
            if ((a.y <= p.y) != (b.y <= p.y)) {
                CGFloat x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
                if (x > p.x) {
                    ++crossings;
                    winding += b.y > a.y ? 1 : -1;
                }
            }
        }
    }
    return evenOdd ? (crossings & 1) != 0 : winding != 0;
}

CGPathData CGPathData::strokedOutline(const StrokeStyle& style, const CGAffineTransform& toUser,
                                      const CGAffineTransform& fromUser, CGFloat tolerance) const {
    CGPathData out;
    const CGFloat hw = std::fabs(style.lineWidth) / 2;
    if (hw == 0) return out;
    // Work in the space where the width is measured; flatten finely enough for the device.
    CGPathData user;
    user.append(*this, &toUser);
    CGSize unit = CGSizeApplyAffineTransform(CGSizeMake(1, 1), fromUser);
    CGFloat devPerUser = std::max({std::fabs(unit.width), std::fabs(unit.height), 1e-3f});
    CGFloat userTol = tolerance / devPerUser;
    std::vector<std::vector<CGPoint>> polys;
    auto emit = [&](std::vector<CGPoint> poly) {
        if (poly.size() < 3) return;
        for (auto& q : poly)
            q = CGPointApplyAffineTransform(q, fromUser);
        if (signedArea(poly) < 0) std::reverse(poly.begin(), poly.end());
        polys.push_back(std::move(poly));
    };
    auto cap = [&](CGPoint end, CGPoint dir) {
        if (style.cap == kCGLineCapRound) {
            emit(circlePolygon(end, hw, userTol));
        } else if (style.cap == kCGLineCapSquare) {
            CGPoint n{-dir.y * hw, dir.x * hw};
            CGPoint e = add(end, scale(dir, hw));
            emit({add(end, n), add(e, n), sub(e, n), sub(end, n)});
        }
    };
    auto join = [&](CGPoint v, CGPoint d0, CGPoint d1) {
        CGFloat turn = cross(d0, d1);
        if (std::fabs(turn) < 1e-6f && dot(d0, d1) > 0) return;
        if (style.join == kCGLineJoinRound) {
            emit(circlePolygon(v, hw, userTol));
            return;
        }
        // The outer side of the turn.
        CGFloat side = turn > 0 ? -1 : 1;
        CGPoint n0{-d0.y * hw * side, d0.x * hw * side};
        CGPoint n1{-d1.y * hw * side, d1.x * hw * side};
        CGPoint a = add(v, n0), b = add(v, n1);
        if (style.join == kCGLineJoinMiter) {
            CGFloat cosT = std::clamp(-dot(d0, d1), -1.0f, 1.0f);  // the angle between segments
            CGFloat theta = std::acos(cosT);
            CGFloat ratio = std::sin(theta / 2) > 1e-6f ? 1 / std::sin(theta / 2) : 1e9f;
            if (ratio <= style.miterLimit) {
                CGPoint bis = normalized(add(n0, n1));
                CGPoint m = add(v, scale(bis, hw * ratio));
                emit({v, a, m, b});
                return;
            }
        }
        emit({v, a, b});
    };
    auto strokeRun = [&](const std::vector<CGPoint>& pts, bool closed) {
        std::vector<CGPoint> p;
        for (const auto& q : pts) {
            if (p.empty() || length(sub(q, p.back())) > 1e-6f) p.push_back(q);
        }
        if (closed && p.size() > 1 && length(sub(p.front(), p.back())) <= 1e-6f) p.pop_back();
        if (p.size() == 1) {
            // A zero-length segment shows only its caps (round or square), facing along x.
            if (!closed) {
                cap(p[0], {1, 0});
                cap(p[0], {-1, 0});
            }
            return;
        }
        size_t n = p.size();
        size_t segs = closed ? n : n - 1;
        for (size_t i = 0; i < segs; ++i) {
            CGPoint a = p[i], b = p[(i + 1) % n];
            CGPoint d = normalized(sub(b, a));
            CGPoint nn{-d.y * hw, d.x * hw};
            emit({add(a, nn), add(b, nn), sub(b, nn), sub(a, nn)});
        }
        for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
            CGPoint prev = p[(i + n - 1) % n], v = p[i], next = p[(i + 1) % n];
            join(v, normalized(sub(v, prev)), normalized(sub(next, v)));
        }
        if (!closed) {
            cap(p[0], normalized(sub(p[0], p[1])));
            cap(p[n - 1], normalized(sub(p[n - 1], p[n - 2])));
        }
    };
    // Dashes cut each subpath into open runs.
    CGFloat dashTotal = 0;
    bool dashed = false;
    for (CGFloat d : style.dashes) {
        if (d < 0) dashTotal = -1;
        if (dashTotal >= 0) dashTotal += d;
    }
    dashed = !style.dashes.empty() && dashTotal > 0;
    for (const auto& poly : user.flatten(userTol)) {
        if (!dashed) {
            strokeRun(poly.points, poly.closed);
            continue;
        }
        std::vector<CGPoint> pts = poly.points;
        if (poly.closed) pts.push_back(pts.front());
        size_t idx = 0;
        CGFloat phase = std::fmod(style.dashPhase, dashTotal);
        if (phase < 0) phase += dashTotal;
        while (phase >= style.dashes[idx]) {
            phase -= style.dashes[idx];
            idx = (idx + 1) % style.dashes.size();
        }
        CGFloat left = style.dashes[idx] - phase;
        bool on = idx % 2 == 0;
        std::vector<CGPoint> run;
        if (on) run.push_back(pts[0]);
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            CGPoint a = pts[i], b = pts[i + 1];
            CGFloat segLen = length(sub(b, a));
            CGFloat pos = 0;
            while (segLen - pos > left) {
                pos += left;
                CGPoint q = add(a, scale(sub(b, a), pos / segLen));
                if (on) {
                    run.push_back(q);
                    strokeRun(run, false);
                    run.clear();
                } else {
                    run = {q};
                }
                on = !on;
                idx = (idx + 1) % style.dashes.size();
                left = style.dashes[idx];
            }
            left -= segLen - pos;
            if (on) run.push_back(b);
        }
        if (on && run.size() > 1) strokeRun(run, false);
    }
    for (auto& poly : polys) {
        out.moveTo(poly[0]);
        for (size_t i = 1; i < poly.size(); ++i)
            out.lineTo(poly[i]);
        out.close();
    }
    return out;
}

// ---- CGPath
// ---------------------------------------------------------------------------------------

bool CGPath::isEqual(NSObject* other) {
    auto o = as<CGPath>(other);
    if (!o) return false;
    const auto& a = data_.elements;
    const auto& b = o->data_.elements;
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].type != b[i].type) return false;
        for (int k = 0; k < 3; ++k) {
            if (!CGPointEqualToPoint(a[i].p[k], b[i].p[k])) return false;
        }
    }
    return true;
}

Ref<CGMutablePath> CGPathCreateMutable() {
    return alloc<CGMutablePath>();
}

Ref<CGPath> CGPathCreateCopy(CGPathRef path) {
    return path ? Ref<CGPath>(CGPathCreateMutableCopy(path)) : nullptr;
}

Ref<CGMutablePath> CGPathCreateMutableCopy(CGPathRef path) {
    if (!path) return nullptr;
    auto p = alloc<CGMutablePath>();
    p->data() = path->data();
    return p;
}

Ref<CGPath> CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform) {
    auto p = alloc<CGMutablePath>();
    p->data().addRect(rect, transform);
    return p;
}

Ref<CGPath> CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform) {
    auto p = alloc<CGMutablePath>();
    p->data().addEllipse(rect, transform);
    return p;
}

Ref<CGPath> CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                        const CGAffineTransform* transform) {
    auto p = alloc<CGMutablePath>();
    p->data().addRoundedRect(rect, cornerWidth, cornerHeight, transform);
    return p;
}

Ref<CGPath> CGPathCreateCopyByStrokingPath(CGPathRef path, const CGAffineTransform* transform,
                                           CGFloat lineWidth, CGLineCap lineCap,
                                           CGLineJoin lineJoin, CGFloat miterLimit) {
    if (!path) return nullptr;
    CGPathData::StrokeStyle style;
    style.lineWidth = lineWidth;
    style.cap = lineCap;
    style.join = lineJoin;
    style.miterLimit = miterLimit;
    auto p = alloc<CGMutablePath>();
    CGAffineTransform id = CGAffineTransformIdentity;
    CGPathData stroked = path->data().strokedOutline(style, id, id, 0.05f);
    p->data().append(stroked, transform);
    return p;
}

void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
    if (path) path->data().moveTo(apply(m, {x, y}));
}

void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
    if (path) path->data().lineTo(apply(m, {x, y}));
}

void CGPathAddQuadCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cpx,
                               CGFloat cpy, CGFloat x, CGFloat y) {
    if (path) path->data().quadTo(apply(m, {cpx, cpy}), apply(m, {x, y}));
}

void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x,
                           CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y) {
    if (path)
        path->data().curveTo(apply(m, {cp1x, cp1y}), apply(m, {cp2x, cp2y}), apply(m, {x, y}));
}

void CGPathAddArc(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                  CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise) {
    if (path) path->data().addArc({x, y}, radius, startAngle, endAngle, clockwise, m);
}

void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius) {
    if (path) path->data().addArcToPoint({x1, y1}, {x2, y2}, radius, m);
}

void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect) {
    if (path) path->data().addRect(rect, m);
}

void CGPathAddRects(CGMutablePathRef path, const CGAffineTransform* m, const CGRect* rects,
                    size_t count) {
    if (!path || !rects) return;
    for (size_t i = 0; i < count; ++i)
        path->data().addRect(rects[i], m);
}

void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint* points,
                    size_t count) {
    if (!path || !points || count == 0) return;
    path->data().moveTo(apply(m, points[0]));
    for (size_t i = 1; i < count; ++i)
        path->data().lineTo(apply(m, points[i]));
}

void CGPathAddEllipseInRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect) {
    if (path) path->data().addEllipse(rect, m);
}

void CGPathAddRoundedRect(CGMutablePathRef path, const CGAffineTransform* transform, CGRect rect,
                          CGFloat cornerWidth, CGFloat cornerHeight) {
    if (path) path->data().addRoundedRect(rect, cornerWidth, cornerHeight, transform);
}

void CGPathAddPath(CGMutablePathRef path1, const CGAffineTransform* m, CGPathRef path2) {
    if (!path1 || !path2) return;
    if (static_cast<CGPath*>(path1) == path2) {
        CGPathData copy = path2->data();
        path1->data().append(copy, m);
    } else {
        path1->data().append(path2->data(), m);
    }
}

void CGPathCloseSubpath(CGMutablePathRef path) {
    if (path) path->data().close();
}

bool CGPathIsEmpty(CGPathRef path) {
    return !path || path->data().empty();
}

bool CGPathIsRect(CGPathRef path, CGRect* rect) {
    if (!path) return false;
    const auto& e = path->data().elements;
    if (e.size() < 4 || e.size() > 6 || e[0].type != kCGPathElementMoveToPoint) return false;
    std::vector<CGPoint> pts{e[0].p[0]};
    for (size_t i = 1; i < e.size(); ++i) {
        if (e[i].type == kCGPathElementAddLineToPoint) {
            pts.push_back(e[i].p[0]);
        } else if (e[i].type != kCGPathElementCloseSubpath || i != e.size() - 1) {
            return false;
        }
    }
    if (pts.size() == 5 && CGPointEqualToPoint(pts[4], pts[0])) pts.pop_back();
    if (pts.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        CGPoint a = pts[i], b = pts[(i + 1) % 4];
        if (a.x != b.x && a.y != b.y) return false;
    }
    if (rect) *rect = path->data().boundingBox();
    return true;
}

bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2) {
    if (path1 == path2) return true;
    return path1 && path2 && path1->isEqual(path2);
}

CGPoint CGPathGetCurrentPoint(CGPathRef path) {
    return path && path->data().hasCurrent ? path->data().current : CGPointZero;
}

CGRect CGPathGetBoundingBox(CGPathRef path) {
    return path ? path->data().boundingBox() : CGRectNull;
}

CGRect CGPathGetPathBoundingBox(CGPathRef path) {
    return path ? path->data().pathBoundingBox() : CGRectNull;
}

bool CGPathContainsPoint(CGPathRef path, const CGAffineTransform* m, CGPoint point, bool eoFill) {
    if (!path) return false;
    return path->data().containsPoint(apply(m, point), eoFill);
}

void CGPathApply(CGPathRef path, void* info, CGPathApplierFunction function) {
    if (!path || !function) return;
    for (auto e : path->data().elements) {
        CGPathElement el{e.type, e.p};
        function(info, &el);
    }
}
