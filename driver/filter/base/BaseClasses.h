// The source filter framework in one include: what a filter, its pins and the COM server around them
// are built on.
#pragma once

#include "driver/filter/AMovieSetup.h"
#include "driver/filter/BaseDefs.h"
#include "driver/filter/CAMEvent.h"
#include "driver/filter/CAMThread.h"
#include "driver/filter/CBaseFilter.h"
#include "driver/filter/CBaseObject.h"
#include "driver/filter/CBaseOutputPin.h"
#include "driver/filter/CBasePin.h"
#include "driver/filter/CClassFactory.h"
#include "driver/filter/CCritSec.h"
#include "driver/filter/CEnumMediaTypes.h"
#include "driver/filter/CEnumPins.h"
#include "driver/filter/CFactoryTemplate.h"
#include "driver/filter/CMediaType.h"
#include "driver/filter/CSource.h"
#include "driver/filter/CSourceStream.h"
#include "driver/filter/CUnknown.h"
#include "driver/filter/DllEntry.h"
