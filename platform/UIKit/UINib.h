// Interface files: every screen or cell that the platform would load from a compiled interface
// file is built here by a builder registered under the interface's name. A builder creates the
// views, connects the owner's outlets and actions and returns the top-level objects; the
// layouts are ours, the names are the ones the screens ask for.
#pragma once

#include <functional>

#include "Foundation/NSObject.h"

class NSArray;
class NSBundle;
class NSDictionary;
class NSString;

// Options key of instantiateWithOwner:options: (the proxies are accepted and passed on).
extern NSString* const UINibExternalObjects;

using UINibBuilder = std::function<Ref<NSArray>(NSObject* owner, NSDictionary* options)>;

// Enters (or replaces) the builder of an interface.
void registerInterface(NSString* name, UINibBuilder builder);
// Forgets an interface (tests).
void unregisterInterface(NSString* name);
bool isInterfaceRegistered(NSString* name);
// The names of every registered interface, sorted (the shell lists them).
Ref<NSArray> registeredInterfaceNames();

class UINib : public NSObject {
    NS_OBJECT(UINib, NSObject)
    // A nib for a registered interface; the bundle is accepted and not consulted, since the
    // builders live in the program. Unknown names give a nib that raises when instantiated,
    // as the platform's does for a missing file.
    static Ref<UINib> nibWithNibName(NSString* name, NSBundle* bundle);
    bool initWithNibName(NSString* name, NSBundle* bundle);

    Ref<NSString> name() { return name_; }
    // Runs the builder; raises NSInternalInconsistencyException "Could not load NIB in bundle:
    // ..." when no interface of that name is registered.
    Ref<NSArray> instantiateWithOwner(NSObject* owner, NSDictionary* options);

private:
    Ref<NSString> name_;
};

// NSBundle's loadNibNamed:owner:options: (the cells' way of loading themselves).
Ref<NSArray> loadNibNamed(NSBundle* bundle, NSString* name, NSObject* owner, NSDictionary* options);
