// The whole DirectShow base layer.
#pragma once
#include "lock.h"
#include "trace.h"
#include "unknown.h"
#include "mediatype.h"
#include "module.h"
#include "allocator.h"
#include "filter.h"
#include "seeking.h"
#include "transform.h"
#include "source.h"
