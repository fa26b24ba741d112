// The source filter framework in one include: what a filter, its pins and the COM server around them
// are built on.
#pragma once

#include "driver/filter/base/AMovieSetup.h"
#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CAMEvent.h"
#include "driver/filter/base/CAMThread.h"
#include "driver/filter/base/CBaseFilter.h"
#include "driver/filter/base/CBaseObject.h"
#include "driver/filter/base/CBaseOutputPin.h"
#include "driver/filter/base/CBasePin.h"
#include "driver/filter/base/CClassFactory.h"
#include "driver/filter/base/CCritSec.h"
#include "driver/filter/base/CEnumMediaTypes.h"
#include "driver/filter/base/CEnumPins.h"
#include "driver/filter/base/CFactoryTemplate.h"
#include "driver/filter/base/CMediaType.h"
#include "driver/filter/base/CSource.h"
#include "driver/filter/base/CSourceStream.h"
#include "driver/filter/base/CUnknown.h"
#include "driver/filter/base/DllEntry.h"
