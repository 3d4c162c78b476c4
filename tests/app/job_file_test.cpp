#include "app/job_file.h"

#include <gtest/gtest.h>
