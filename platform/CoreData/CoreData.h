// The object store framework: models, a coordinator over a SQLite store, contexts and objects.
#pragma once

#include "CoreData/CoreDataErrors.h"
#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSFetchRequest.h"
#include "CoreData/NSManagedObject.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSManagedObjectID.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "CoreData/NSPredicate.h"
#include "CoreData/NSPropertyDescription.h"
#include "CoreData/NSSortDescriptor.h"
