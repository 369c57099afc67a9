// The file-system operations library: every part of it in one include.
#pragma once

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/Guards.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/Places.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXBundle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"
