#pragma once
// The drive selector, the folder list and the file list together, for the windows that hold them.

#include "browse/DirectoryListBox.h"
#include "browse/DriveComboBox.h"
#include "browse/FileListBox.h"
