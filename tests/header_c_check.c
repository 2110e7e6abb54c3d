/* Compiled as C99 with -pedantic -Werror: the public header must serve C
 * hosts, the legacy entry point with its records and the modern API. */
#include <stddef.h>

#include "mosaro.h"

int mosaro_header_c_check(void);

static int keep_going(void* user_data, mosaro_stage stage, int pass, double fraction) {
    (void)stage;
    (void)pass;
    *(double*)user_data = fraction;
    return 1;
}

int mosaro_header_c_check(void) {
    TGRIDCELLXY grid = {1.0f, 1.0f, 0, 0};
    TRECTXYMINMAX rect = {0.0f, 0.0f, 1.0f, 1.0f};
    TVARIOGRAMMODEL model = {0.0f, 0.0f, 0.0f, 0.0f};
    int (*entry)(const float*, int, int, int, const float*, float, float, int, int, int, int, float, const float*,
                 float*) = KARVO_ScatToGridWithKrig;

    static const float x[3] = {0.0f, 10.0f, 5.0f}, y[3] = {0.0f, 0.0f, 8.0f}, value[3] = {1.0f, 2.0f, 3.0f};
    float nodes[4], variance[4];
    double last = 0.0;
    mosaro_request request;
    mosaro_report* report = NULL;
    mosaro_pass_report pass;
    mosaro_status status;
    mosaro_request_init(&request);
    request.x = x;
    request.y = y;
    request.value = value;
    request.sample_count = 3;
    request.x_max = request.y_max = request.cell_size_x = request.cell_size_y = 10.0f;
    request.node_count_x = request.node_count_y = 2;
    request.neighbour_count = 3;
    request.method = MOSARO_METHOD_ORDINARY;
    request.grid = nodes;
    request.variance = variance;
    request.report = &report;
    request.progress = keep_going;
    request.progress_user_data = &last;
    status = mosaro_grid(&request);
    if (status < MOSARO_OK) return mosaro_last_message()[0] != '\0' && mosaro_status_string(status) != NULL;
    if (mosaro_report_pass(report, 0, &pass) == MOSARO_OK && pass.branches[0] == MOSARO_FIT_GIVEN) return 0;
    mosaro_report_free(report);
    return entry != 0 && grid.nCellCountX == 0 && rect.fXMax == 1.0f && model.fSill == 0.0f &&
           mosaro_version()[0] != '\0' && MOSARO_VERSION_NUMBER > 0;
}
