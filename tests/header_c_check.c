/* Compiled as C99 with -pedantic -Werror: the public header must serve C
 * hosts (entry point and records only). */
#include "mosaro.h"

int mosaro_header_c_check(void);

int mosaro_header_c_check(void) {
    TGRIDCELLXY grid = {1.0f, 1.0f, 0, 0};
    TRECTXYMINMAX rect = {0.0f, 0.0f, 1.0f, 1.0f};
    TVARIOGRAMMODEL model = {0.0f, 0.0f, 0.0f, 0.0f};
    int (*entry)(const float*, int, int, int, const float*, float, float, int, int, int, int, float,
                 const float*, float*) = KARVO_ScatToGridWithKrig;
    return entry != 0 && grid.nCellCountX == 0 && rect.fXMax == 1.0f && model.fSill == 0.0f;
}
