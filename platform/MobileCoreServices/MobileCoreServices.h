#pragma once

#include "MobileCoreServices/UTType.h"
