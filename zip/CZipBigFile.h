// The class of an archive's file object. It adds nothing to the file layer.
#pragma once

#include "platform/CFile.h"

class CZipBigFile : public platform::CFile {};
