/*
 * Mosaro: gridding of scattered samples by kriging.
 *
 * The one public header. From C it declares the legacy entry point with its
 * three records, and the modern API (mosaro_*); from C++ it also declares
 * the two exported estimator classes.
 * Every estimate, coordinate and value is a single-precision float.
 */
#ifndef MOSARO_H
#define MOSARO_H

/* The one place the version is written; CMake reads these three lines. The
 * major number is the shared library's SOVERSION (see the README). */
#define MOSARO_VERSION_MAJOR 0
#define MOSARO_VERSION_MINOR 5
#define MOSARO_VERSION_PATCH 0

#define MOSARO_VERSION_ENCODE(major, minor, patch) ((major)*10000 + (minor)*100 + (patch))
#define MOSARO_VERSION_NUMBER MOSARO_VERSION_ENCODE(MOSARO_VERSION_MAJOR, MOSARO_VERSION_MINOR, MOSARO_VERSION_PATCH)

#if defined(_WIN32)
#if defined(MOSARO_STATIC)
#define MOSARO_API
#elif defined(MOSARO_BUILDING)
#define MOSARO_API __declspec(dllexport)
#else
#define MOSARO_API __declspec(dllimport)
#endif
#else
#define MOSARO_API __attribute__((visibility("default")))
#endif

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Grid layout: the grid has nCellCountX + 1 nodes per row and
 * nCellCountY + 1 rows. */
typedef struct TGRIDCELLXY {
    float fCellSizeX;
    float fCellSizeY;
    int nCellCountX;
    int nCellCountY;
} TGRIDCELLXY;

/* Grid extent: (fXMin, fYMin) is the first node; the extents bound the lag
 * classes of the experimental variogram and choose the coordinate scale. */
typedef struct TRECTXYMINMAX {
    float fXMin;
    float fYMin;
    float fXMax;
    float fYMax;
} TRECTXYMINMAX;

/* Fitted spherical model of one direction; fSill = fNugget + fPartialSill. */
typedef struct TVARIOGRAMMODEL {
    float fNugget;
    float fSill;
    float fRange;
    float fPartialSill;
} TVARIOGRAMMODEL;

/*
 * Interpolates the samples in pData onto the grid pGrid.
 *
 * pData holds nPointCount rows of nColumnCount floats: x in column 0, y in
 * column 1, the value in column nValueColumn. pRect points at the four floats
 * fXMin, fYMin, fXMax, fYMax. pGrid receives (nCellCountX + 1) *
 * (nCellCountY + 1) estimates, row 0 at fYMin, x running fastest.
 * KrigingMethod picks the method (1 ordinary, 2-7 universal with drift,
 * 8 lognormal, 9 three-parameter lognormal, 10 indicator, 11 co-kriging);
 * fMethodParameter and pMethodArray carry that method's extra arguments.
 *
 * Always returns 1 and reports nothing; see the README for what happens on
 * degenerate arguments.
 */
MOSARO_API int KARVO_ScatToGridWithKrig(const float* pData, int nValueColumn, int nPointCount, int nColumnCount,
                                        const float* pRect, float fCellSizeX, float fCellSizeY, int nCellCountX,
                                        int nCellCountY, int nNeighbourCount, int KrigingMethod, float fMethodParameter,
                                        const float* pMethodArray, float* pGrid);


/* ------------------------------------------------------------------------
 * The modern API (C99). Same engine, same grids as KARVO_ScatToGridWithKrig
 * for the same valid arguments; in addition it refuses bad arguments with a
 * status and a message, reports progress and can be cancelled, reports the
 * fitted variogram models, accepts a model set by the caller and can return
 * the kriging variance. Nothing here throws; every function is safe to call
 * from several threads at once (each call has its own state).
 * ------------------------------------------------------------------------ */

/* The library's version as "major.minor.patch"; equals the macros above when
 * the header matches the library. */
MOSARO_API const char* mosaro_version(void);

/* Results. 0 is success, positive values are warnings (the outputs are
 * written), negative values are errors (see each for what was written). */
typedef enum mosaro_status {
    MOSARO_OK = 0,
    /* The fit gave no finite model (too few pairs per lag class, or an
     * extent shorter than one cell): every node is 0, as the legacy entry
     * point grids it. Give a model or a coarser cell. */
    MOSARO_WARNING_NO_FINITE_MODEL = 1,
    /* Since 0.5. A simulation's threshold lies outside the data's range:
     * its exceedance is 0 or 1 at every node, but all is written. */
    MOSARO_WARNING_THRESHOLD_OUTSIDE = 2,

    MOSARO_ERROR_NULL_POINTER = -1,      /* a required pointer is null */
    MOSARO_ERROR_STRUCT_SIZE = -2,       /* struct_size is not that of a known version */
    MOSARO_ERROR_METHOD = -3,            /* not one of the mosaro_method values */
    MOSARO_ERROR_CELL_SIZE = -4,         /* not positive or not finite */
    MOSARO_ERROR_EXTENT = -5,            /* empty, inverted or not finite */
    MOSARO_ERROR_NODE_COUNT = -6,        /* below 1 */
    MOSARO_ERROR_SAMPLE_COUNT = -7,      /* fewer than one sample */
    MOSARO_ERROR_SAMPLE_VALUE = -8,      /* a coordinate or value the method cannot take */
    MOSARO_ERROR_NEIGHBOUR_COUNT = -9,   /* below 1 */
    MOSARO_ERROR_VARIABLES = -10,        /* co-kriging: variable count or column outside the data */
    MOSARO_ERROR_THRESHOLDS = -11,       /* indicator kriging: thresholds missing or not finite */
    MOSARO_ERROR_METHOD_PARAMETER = -12, /* the method parameter is not usable */
    MOSARO_ERROR_MODEL = -13,            /* a given model is not a usable spherical model */
    MOSARO_ERROR_THREAD_COUNT = -14,     /* below 0 */
    MOSARO_ERROR_TOO_LARGE = -15,        /* the grid or the lag tables cannot be addressed */
    MOSARO_ERROR_OUT_OF_MEMORY = -16,    /* an allocation failed; the grid is left as passed */
    MOSARO_ERROR_CANCELLED = -17,        /* the progress callback asked to stop */
    MOSARO_ERROR_INDEX = -18,            /* a report index is out of range */
    MOSARO_ERROR_INTERNAL = -19,         /* an unexpected failure inside the library */
    /* The robust fit was asked for, but not even the omnidirectional
     * variogram has two lag classes with pairs: give a model or a coarser
     * cell. The grid is left as passed. */
    MOSARO_ERROR_TOO_FEW_PAIRS = -20,
    MOSARO_ERROR_FILE = -21,        /* a file cannot be opened, read or written */
    MOSARO_ERROR_FILE_FORMAT = -22, /* a file is not a well-formed grid file */
    /* Since 0.5. */
    MOSARO_ERROR_VARIOGRAM = -23,     /* variogram options not usable, or no class with pairs */
    MOSARO_ERROR_FIT = -24,           /* no model could be fitted (the message says why) */
    MOSARO_ERROR_KIND = -25,          /* kind, mean or drift not usable together */
    MOSARO_ERROR_COVARIATES = -26,    /* a covariate missing, not finite or of the wrong count */
    MOSARO_ERROR_NEIGHBOURHOOD = -27, /* nmax, nmin, distance or sectors not usable */
    MOSARO_ERROR_TARGETS = -28,       /* the targets: grid, window, points or block not usable */
    MOSARO_ERROR_REALISATIONS = -29   /* the realisation count not usable */
} mosaro_status;

/* A fixed English name of a status ("MOSARO_ERROR_CELL_SIZE: ..."); never
 * null, also for unknown codes. */
MOSARO_API const char* mosaro_status_string(int status);

/* The message of the last call on the calling thread that did not succeed
 * (empty after a success): names the argument and its value, e.g.
 * "cell_size_x must be positive and finite (got -2)". Valid until the next
 * call of the library on this thread. */
MOSARO_API const char* mosaro_last_message(void);

/* The defaults every front-end shares (the C API's request, the tool, the
 * Python package): the neighbours per node, and without a cell size or
 * node counts, the cells along the longer side of the extent. */
#define MOSARO_DEFAULT_NEIGHBOUR_COUNT 16
#define MOSARO_DEFAULT_CELLS_ALONG_LONGER_SIDE 100

/* Method codes: equal to the legacy codes and never reused. */
typedef enum mosaro_method {
    MOSARO_METHOD_ORDINARY = 1,
    MOSARO_METHOD_UNIVERSAL_X = 2,
    MOSARO_METHOD_UNIVERSAL_Y = 3,
    MOSARO_METHOD_UNIVERSAL_XY = 4,
    MOSARO_METHOD_UNIVERSAL_XX = 5,
    MOSARO_METHOD_UNIVERSAL_YY = 6,
    MOSARO_METHOD_UNIVERSAL_XXYY = 7,
    MOSARO_METHOD_LOGNORMAL = 8,
    MOSARO_METHOD_LOGNORMAL_SHIFTED = 9,
    MOSARO_METHOD_INDICATOR = 10,
    MOSARO_METHOD_COKRIGING = 11
} mosaro_method;

/* Since 0.5. The name users type for a method ("ordinary", "universal-x",
 * "universal-y", "universal-xy", "universal-xx", "universal-yy",
 * "universal-xxyy", "lognormal", "lognormal3", "indicator", "cokriging"),
 * and a short description ("ordinary kriging", ...); null for a code that
 * names no method. Static strings. */
MOSARO_API const char* mosaro_method_name(int method);
MOSARO_API const char* mosaro_method_description(int method);
/* The method of a name, or of a code written as a number ("8"); for any
 * other text MOSARO_ERROR_METHOD with a message listing the names. */
MOSARO_API mosaro_status mosaro_method_from_name(const char* name, mosaro_method* method);

/* Since 0.5. What a method code stands for in the prediction API: its
 * drift terms (MOSARO_DRIFT_*) and whether it is lognormal (code 9: with
 * the request's shift). MOSARO_ERROR_METHOD for indicator kriging and
 * co-kriging, which only the legacy request has. */
MOSARO_API mosaro_status mosaro_method_prediction(int method, unsigned* drift_terms, int* lognormal);

/* Since 0.5. A grid laid out from what users give: the extent (or the
 * samples' bounding box), and a cell size or node counts (or neither: the
 * longer side gets MOSARO_DEFAULT_CELLS_ALONG_LONGER_SIDE square cells).
 * The first node is at (x_min, y_min); nodes follow every cell size up to
 * x_max and y_max (an extent that is a whole number of cells ends on a
 * node); with node counts, the cells divide the extent exactly. */
typedef struct mosaro_grid_layout {
    size_t struct_size; /* set by the caller to sizeof(mosaro_grid_layout) */
    double x_min;
    double y_min;
    double x_max;
    double y_max;
    double cell_size_x;
    double cell_size_y;
    int node_count_x;
    int node_count_y;
} mosaro_grid_layout;

/* extent: 4 values (x_min, y_min, x_max, y_max), or null for the bounding
 * box of the sample_count samples at x, y. cell_size_x > 0 gives the cell
 * size (cell_size_y 0: square cells); node_count_x, node_count_y > 0 give
 * the node counts; 0 leaves either unset, and setting both is refused.
 * Refuses (MOSARO_ERROR_EXTENT, _CELL_SIZE, _NODE_COUNT, _TOO_LARGE) with a
 * message naming the argument: an extent inverted, empty or not finite, a
 * cell size not positive or too small for single precision, fewer than one
 * node, more than 2^31 - 1 nodes. Fills `layout` up to its struct_size. */
MOSARO_API mosaro_status mosaro_grid_layout_choose(const double* extent, const double* x, const double* y,
                                                   int sample_count, double cell_size_x, double cell_size_y,
                                                   int node_count_x, int node_count_y, mosaro_grid_layout* layout);

/* Stages of one pass, in the order they run. */
typedef enum mosaro_stage { MOSARO_STAGE_VARIOGRAMS = 0, MOSARO_STAGE_FIT = 1, MOSARO_STAGE_SWEEP = 2 } mosaro_stage;

/* Called with the stage, the pass (threshold index of indicator kriging, 0
 * otherwise) and the fraction of the whole run done, in [0, 1]: monotone, at
 * most about a hundred calls per run, 1 exactly once at the end of a
 * successful run. Return nonzero to go on, 0 to stop the run (the call then
 * returns MOSARO_ERROR_CANCELLED). Never entered by two threads at once. */
typedef int (*mosaro_progress_fn)(void* user_data, mosaro_stage stage, int pass, double fraction);

/* A spherical variogram model of one direction. As input (a given model)
 * nugget, range and partial_sill are read and sill is not. */
typedef struct mosaro_variogram_model {
    float nugget;
    float sill; /* nugget + partial_sill */
    float range;
    float partial_sill;
} mosaro_variogram_model;

typedef enum mosaro_implementation {
    MOSARO_IMPLEMENTATION_FAST = 0,     /* default */
    MOSARO_IMPLEMENTATION_REFERENCE = 1 /* the plain path; same bits, slower */
} mosaro_implementation;

/* The automatic fit of the variogram models (when no model is given). */
typedef enum mosaro_fit {
    /* The legacy cubic fit: the legacy entry point's bits, but a model that
     * is not finite in one direction now and then (the grid is then 0). */
    MOSARO_FIT_LEGACY = 0,
    /* Weighted least squares of the spherical model (weights pairs / lag^2,
     * nugget >= 0, partial sill > 0, range up to the largest lag); a
     * direction with too few pairs takes the omnidirectional model. Always
     * finite when there are two lag classes with pairs, else
     * MOSARO_ERROR_TOO_FEW_PAIRS. */
    MOSARO_FIT_ROBUST = 1
} mosaro_fit;

/* How each node's system is built and solved. */
typedef enum mosaro_arithmetic {
    /* The legacy single-precision procedure: the legacy entry point's bits,
     * its neighbour order and its 0.01 cut-off. */
    MOSARO_ARITHMETIC_LEGACY = 0,
    /* The same variograms, model, anisotropy and drift, but the m nearest
     * samples by exact distance (ties by input order), each system solved
     * in double with a pivoted factorisation, no cut-off. A node that
     * cannot be estimated is NaN. See the README. */
    MOSARO_ARITHMETIC_ACCURATE = 1
} mosaro_arithmetic;

typedef struct mosaro_report mosaro_report;   /* the fitted models of a run */
typedef struct mosaro_samples mosaro_samples; /* prepared samples */

/* One gridding run. Fill it with mosaro_request_init (a macro passing the
 * size of the caller's struct), then set the fields.
 * The struct grows only at its end; struct_size tells the library which
 * fields the caller knows. */
typedef struct mosaro_request {
    size_t struct_size; /* sizeof(mosaro_request), set by mosaro_request_init */

    /* Samples, read by mosaro_grid (mosaro_grid_samples takes them from its
     * handle instead). A value of -1e38 or NaN is a blank: it takes the value
     * of the sample before it (a leading run, the first value after it). */
    const float* x;
    const float* y;
    const float* value;
    int sample_count;
    /* Co-kriging: further variables at the same sample locations, each an
     * array of sample_count values; value is the primary variable. */
    const float* const* extra_values;
    int extra_value_count;

    /* Extent: (x_min, y_min) is the first node; the extent bounds the lag
     * classes of the experimental variograms and chooses the coordinate
     * scale, as in the legacy call. */
    float x_min;
    float y_min;
    float x_max;
    float y_max;
    float cell_size_x;
    float cell_size_y;
    int node_count_x; /* nodes per row (the legacy cell count + 1) */
    int node_count_y; /* rows */

    int neighbour_count; /* per variable for co-kriging; default MOSARO_DEFAULT_NEIGHBOUR_COUNT */
    mosaro_method method;
    float method_parameter;  /* the shift of MOSARO_METHOD_LOGNORMAL_SHIFTED; else not read */
    const float* thresholds; /* indicator kriging */
    int threshold_count;

    int thread_count; /* 0: every core (or MOSARO_THREADS); results never depend on it */
    mosaro_implementation implementation;

    /* Out: node_count_x * node_count_y estimates, row 0 at y_min, x fastest. */
    float* grid;
    /* Optional out, same layout: the kriging variance of every node (see the
     * README); NaN everywhere for indicator kriging. */
    float* variance;
    /* Optional out: receives a report of the fitted models, to be released
     * with mosaro_report_free; written only when the call succeeds. */
    mosaro_report** report;
    int report_tables; /* nonzero: the report keeps the experimental tables */

    /* Optional in: 1 model (isotropic) or 2 (x, then y). The experimental
     * variograms and the fit are skipped; null means fit automatically. */
    const mosaro_variogram_model* given_models;
    int given_model_count;

    mosaro_progress_fn progress; /* optional */
    void* progress_user_data;

    /* Since 0.3. Which automatic fit gives the models; default legacy. Not
     * read when models are given. */
    mosaro_fit fit;

    /* Since 0.4. How each node's system is solved; default legacy. */
    mosaro_arithmetic arithmetic;
    /* Optional out, accurate arithmetic only, same layout as grid: each
     * node's reciprocal condition estimate (1-norm; the smallest over the
     * passes of indicator kriging); NaN where no system was solved. */
    float* reciprocal_condition;
} mosaro_request;

/* Fills the first `size` bytes of a request with the defaults and sets
 * struct_size to `size` (at most sizeof(mosaro_request)): every pointer
 * null, every count 0, the neighbour count MOSARO_DEFAULT_NEIGHBOUR_COUNT
 * (10 before 0.5), the method ordinary kriging, the fit legacy. Writing no more than the caller's struct holds is what
 * lets a host built against an older header use a newer library. */
MOSARO_API void mosaro_request_init_size(mosaro_request* request, size_t size);

/* The request layout of 0.2, the first published one: what hosts built
 * against that header call. Newer hosts call the macro below. */
MOSARO_API void mosaro_request_init(mosaro_request* request);
#define mosaro_request_init(request) mosaro_request_init_size((request), sizeof *(request))

/* Grids the request's samples. */
MOSARO_API mosaro_status mosaro_grid(const mosaro_request* request);

/* Prepared samples: checked and copied once (the caller's arrays may be
 * released on return), then gridded any number of times, over several
 * extents or with several methods, also from several threads at once.
 * extra_values as in mosaro_request (co-kriging). */
MOSARO_API mosaro_status mosaro_samples_create(const float* x, const float* y, const float* value, int sample_count,
                                               const float* const* extra_values, int extra_value_count,
                                               mosaro_samples** samples);
MOSARO_API void mosaro_samples_free(mosaro_samples* samples);

/* Grids the prepared samples; the request's sample fields are not read. */
MOSARO_API mosaro_status mosaro_grid_samples(const mosaro_samples* samples, const mosaro_request* request);

/* Variograms and fits only: runs the experimental variograms and the
 * automatic fit of the request (both fits when request->fit is robust) and
 * returns the report with every table kept, without sweeping the grid.
 * The request's grid, variance, node counts, report and given models are
 * not read; everything else is, as by mosaro_grid_samples. */
MOSARO_API mosaro_status mosaro_fit_variograms(const mosaro_samples* samples, const mosaro_request* request,
                                               mosaro_report** report);

/* Fit branch a direction took. */
typedef enum mosaro_fit_branch {
    MOSARO_FIT_SPHERICAL = 0,              /* cubic fit of the right shape */
    MOSARO_FIT_STRAIGHT_LINE = 1,          /* straight line through the first two classes */
    MOSARO_FIT_THROUGH_ORIGIN = 2,         /* cubic without intercept */
    MOSARO_FIT_GIVEN = 3,                  /* the caller's model */
    MOSARO_FIT_ROBUST_DIRECTIONAL = 4,     /* robust fit of the direction's own table */
    MOSARO_FIT_ROBUST_OMNIDIRECTIONAL = 5, /* robust fit of the omnidirectional table */
    MOSARO_FIT_NOT_RUN = 6                 /* no such fit ran (see mosaro_direction_fit) */
} mosaro_fit_branch;

/* Direction index of the omnidirectional variogram in mosaro_report_table
 * and mosaro_report_fit (0 is x, 1 is y). */
#define MOSARO_DIRECTION_OMNIDIRECTIONAL 2

/* What one pass of the pipeline used (indicator kriging: one pass per
 * threshold, in array order; otherwise one pass). */
typedef struct mosaro_pass_report {
    float threshold;                  /* indicator kriging; 0 otherwise */
    mosaro_variogram_model models[2]; /* x, then y */
    mosaro_fit_branch branches[2];
    /* The averaged constants of the sweep. */
    float partial_sill;   /* mean of the two partial sills */
    float nugget;         /* mean of the two nuggets */
    float sill;           /* partial_sill + nugget */
    float scale;          /* coordinate scale dividing every coordinate */
    float scaled_range;   /* range along x / scale */
    float anisotropy;     /* range_x / range_y as used */
    int anisotropy_reset; /* nonzero: the ratio was set to 1 */
} mosaro_pass_report;

MOSARO_API int mosaro_report_pass_count(const mosaro_report* report);
/* The layout of 0.2; new hosts call mosaro_report_pass_info. */
MOSARO_API mosaro_status mosaro_report_pass(const mosaro_report* report, int pass, mosaro_pass_report* out);

/* Since 0.5: mosaro_pass_report with a struct_size, so that it can grow. */
typedef struct mosaro_pass_info {
    size_t struct_size; /* set by the caller to sizeof(mosaro_pass_info) */
    float threshold;
    mosaro_variogram_model models[2];
    mosaro_fit_branch branches[2];
    float partial_sill;
    float nugget;
    float sill;
    float scale;
    float scaled_range;
    float anisotropy;
    int anisotropy_reset;
} mosaro_pass_info;

/* Fills `out` up to out->struct_size. */
MOSARO_API mosaro_status mosaro_report_pass_info(const mosaro_report* report, int pass, mosaro_pass_info* out);
/* The experimental table of one direction (0 x, 1 y) of a pass, before
 * (pruned = 0) or after pruning (pruned = 1): class_count entries of lag,
 * pair count and semivariance, owned by the report. Empty (count 0) when
 * the report was made without tables or the model was given. Direction
 * MOSARO_DIRECTION_OMNIDIRECTIONAL is the omnidirectional table of a
 * robust fit (classes of the smaller cell size out to the largest
 * directional lag, at most 10,000; never pruned; empty in a legacy run, and
 * when the report was made without tables and no direction needed it). */
MOSARO_API mosaro_status mosaro_report_table(const mosaro_report* report, int pass, int direction, int pruned,
                                             const float** lag, const float** pairs, const float** semivariance,
                                             int* class_count);
/* How one direction of a pass got its model, and what each fit gave. */
typedef struct mosaro_direction_fit {
    size_t struct_size; /* set by the caller to sizeof(mosaro_direction_fit) */
    mosaro_fit fit;     /* the fit that ran (legacy when the model was given) */
    /* The model the sweep used and how it came about; for the
     * omnidirectional direction the robust model of its table. */
    mosaro_variogram_model model;
    mosaro_fit_branch branch;
    /* What the legacy fit gave for this direction's table (in a robust run
     * too, so both can be drawn); MOSARO_FIT_NOT_RUN with NaN fields for
     * the omnidirectional direction and for a given model. */
    mosaro_variogram_model legacy_model;
    mosaro_fit_branch legacy_branch;
    /* One sentence on why this model: which fit, how many classes and
     * pairs, which bound was reached or why the omnidirectional model was
     * taken. Owned by the report. */
    const char* reason;
} mosaro_direction_fit;

/* Fills `out` (up to out->struct_size) for direction 0 (x), 1 (y) or
 * MOSARO_DIRECTION_OMNIDIRECTIONAL of a pass. */
MOSARO_API mosaro_status mosaro_report_fit(const mosaro_report* report, int pass, int direction,
                                           mosaro_direction_fit* out);

/* What the sweep of one pass met, node by node (accurate arithmetic; in the
 * legacy arithmetic every count is 0 and the condition NaN). */
typedef struct mosaro_node_summary {
    size_t struct_size; /* set by the caller to sizeof(mosaro_node_summary) */
    mosaro_arithmetic arithmetic;
    long long node_count;
    /* Nodes that could not be estimated (NaN): no neighbour, a value or
     * model that is not finite, or a singular system without a solution. */
    long long no_data_count;
    /* Nodes whose system's reciprocal condition estimate is below 1e-10
     * (estimated, but fewer than about six digits of the weights hold). */
    long long ill_conditioned_count;
    /* Of those, singular but consistent systems (duplicate locations; every
     * co-kriging system) given their minimum-norm solution. */
    long long minimum_norm_count;
    double smallest_reciprocal_condition; /* NaN when no system was solved */
} mosaro_node_summary;

MOSARO_API mosaro_status mosaro_report_nodes(const mosaro_report* report, int pass, mosaro_node_summary* out);

MOSARO_API void mosaro_report_free(mosaro_report* report);

/* Cross-validation: each sample estimated from the others, by the
 * request's method, model and arithmetic, from its m nearest other samples
 * by exact distance (ties by input order). The model is fitted once from
 * all samples (or given). Methods 1 to 9 and 11. */
typedef struct mosaro_validation {
    size_t struct_size; /* set by the caller to sizeof(mosaro_validation) */
    /* 0: leave-one-out. k >= 2: k folds of (nearly) equal size, assigned
     * by a seeded shuffle; each fold is estimated from the other folds. */
    int folds;
    unsigned long long seed;
    /* Optional outs of sample_count entries, in sample order (NaN where a
     * sample could not be estimated): */
    float* estimate;
    float* variance; /* kriging variance (of the logarithms for 8 and 9) */
    float* residual; /* observed - estimate */
    /* residual / sqrt(variance); for 8 and 9 the residual of the
     * logarithms ln(v + shift), whose variance that is */
    float* standardised_residual;
    int* fold; /* the fold a sample was left out in */
} mosaro_validation;

typedef struct mosaro_validation_summary {
    size_t struct_size; /* set by the caller to sizeof(mosaro_validation_summary) */
    int estimated;      /* samples with an estimate; the statistics cover these */
    int not_estimated;
    double mean_error; /* mean residual */
    double mean_absolute_error;
    double root_mean_square_error;
    double mean_squared_deviation_ratio; /* mean squared standardised residual; ideally 1 */
    double correlation;                  /* of observed and estimated */
} mosaro_validation_summary;

/* Cross-validates the prepared samples. The request's grid, variance, node
 * counts and reciprocal_condition are not read; its extent and cell sizes
 * set the lag classes of the fit, as in mosaro_fit_variograms, and its
 * report receives the model. summary may be null. */
MOSARO_API mosaro_status mosaro_cross_validate(const mosaro_samples* samples, const mosaro_request* request,
                                               const mosaro_validation* validation, mosaro_validation_summary* summary);

/* Binary grid files: the format CKriging::OutKrigingGridFile writes
 * (little-endian floats, row 0 first, x fastest; the origin is not stored). */
typedef struct mosaro_grid_file {
    int node_count_x;
    int node_count_y;
    float cell_size_x;
    float cell_size_y;
    float minimum;      /* smallest non-blank node, as stored in the header */
    float maximum;      /* largest node, as stored in the header */
    float blank;        /* the blank value the file declares */
    const float* nodes; /* node_count_x * node_count_y nodes, owned by the handle */
} mosaro_grid_file;

/* Writes a grid file. A new file is written beside the target and renamed
 * over it only when complete: on failure no file is left and an existing
 * target is unchanged. */
MOSARO_API mosaro_status mosaro_grid_file_write(const char* path, const float* grid, int node_count_x, int node_count_y,
                                                float cell_size_x, float cell_size_y);
/* Reads a grid file; release it with mosaro_grid_file_free. */
MOSARO_API mosaro_status mosaro_grid_file_read(const char* path, mosaro_grid_file** grid_file);
MOSARO_API void mosaro_grid_file_free(mosaro_grid_file* grid_file);

/* Since 0.5: what a read grid file holds, in a struct that can grow. */
typedef struct mosaro_grid_file_info {
    size_t struct_size; /* set by the caller to sizeof(mosaro_grid_file_info) */
    int node_count_x;
    int node_count_y;
    float cell_size_x;
    float cell_size_y;
    float minimum;
    float maximum;
    float blank;
    const float* nodes; /* owned by the grid file handle */
} mosaro_grid_file_info;

/* Fills `info` up to info->struct_size from a handle of mosaro_grid_file_read. */
MOSARO_API mosaro_status mosaro_grid_file_info_get(const mosaro_grid_file* grid_file, mosaro_grid_file_info* info);


/* ========================================================================
 * Since 0.5: geostatistics in double precision. Variogram models of any
 * family (as R's gstat parameterises them), experimental variograms and
 * their fits, and prediction (simple, ordinary and universal kriging,
 * external drift, lognormal, block kriging) at the nodes of a grid or of a
 * window of one, or at any list of points. Everything in the accurate
 * arithmetic: the same bits at any thread count and on every platform.
 * ======================================================================== */

/* Model families (the short names of the notation in parentheses). */
typedef enum mosaro_family {
    MOSARO_FAMILY_SPHERICAL = 1,         /* Sph */
    MOSARO_FAMILY_EXPONENTIAL = 2,       /* Exp: 1 - e^(-h/a) */
    MOSARO_FAMILY_GAUSSIAN = 3,          /* Gau: 1 - e^(-(h/a)^2) */
    MOSARO_FAMILY_EXPONENTIAL_CLASS = 4, /* Exc, stable: 1 - e^(-(h/a)^kappa), kappa in (0, 2] */
    MOSARO_FAMILY_MATERN = 5,            /* Mat, with kappa in (0, 100] */
    MOSARO_FAMILY_STEIN_MATERN = 6,      /* Ste */
    MOSARO_FAMILY_BESSEL = 7,            /* Bes */
    MOSARO_FAMILY_CIRCULAR = 8,          /* Cir */
    MOSARO_FAMILY_PENTASPHERICAL = 9,    /* Pen */
    MOSARO_FAMILY_LINEAR = 10,           /* Lin: bounded at the range; range 0: unbounded */
    MOSARO_FAMILY_WAVE = 11,             /* Wav: 1 - sin(pi h/a) / (pi h/a) */
    MOSARO_FAMILY_HOLE = 12,             /* Hol: 1 - sin(h/a) / (h/a) */
    MOSARO_FAMILY_POWER = 13             /* Pow: h^exponent, no sill */
} mosaro_family;

#define MOSARO_MAX_STRUCTURES 8

/* One structure: gamma(h) = partial_sill * g(h' / range), h' the lag after
 * the geometric anisotropy: range along the major axis at `azimuth`
 * degrees clockwise from north, ratio * range across it. */
typedef struct mosaro_structure {
    mosaro_family family;
    double partial_sill;
    double range;   /* not read for Pow */
    double shape;   /* kappa of Exc, Mat, Ste; Pow's exponent; NaN: the family's default */
    double azimuth; /* of the major axis; 0 when isotropic */
    double ratio;   /* minor over major range, (0, 1]; 1: isotropic */
} mosaro_structure;

/* A nested model: a nugget plus up to MOSARO_MAX_STRUCTURES structures. */
typedef struct mosaro_model {
    size_t struct_size; /* sizeof(mosaro_model), set by mosaro_model_init */
    double nugget;
    int structure_count;
    mosaro_structure structures[MOSARO_MAX_STRUCTURES];
} mosaro_model;

/* The short name of a family in the notation ("Sph", "Mat", ...); null
 * for a code that names none. */
MOSARO_API const char* mosaro_family_name(int family);

/* An empty model (no nugget, no structure) of the caller's size. */
MOSARO_API void mosaro_model_init_size(mosaro_model* model, size_t size);
#define mosaro_model_init(model) mosaro_model_init_size((model), sizeof *(model))

/* Reads the notation, e.g. "0.05 Nug + 0.59 Sph(897)", "1.2 Mat(300,
 * kappa=1.5)", "0.6 Exp(500, azimuth=45, ratio=0.4)" (docs/variograms.md).
 * MOSARO_ERROR_MODEL with a message giving the position and what was
 * expected, or listing the known families, or naming the bad value. */
MOSARO_API mosaro_status mosaro_model_parse(const char* text, mosaro_model* model);
/* Writes the model in the notation, numbers in their shortest exact form;
 * MOSARO_ERROR_TOO_LARGE when `size` bytes cannot hold it (nothing useful
 * written). */
MOSARO_API mosaro_status mosaro_model_format(const mosaro_model* model, char* text, size_t size);
/* gamma(dx, dy) of a model; NaN for a model that is not usable. */
MOSARO_API double mosaro_model_semivariance(const mosaro_model* model, double dx, double dy);

typedef enum mosaro_estimator {
    MOSARO_ESTIMATOR_CLASSIC = 0, /* Matheron */
    MOSARO_ESTIMATOR_CRESSIE = 1  /* Cressie and Hawkins */
} mosaro_estimator;

/* How an experimental variogram is formed. Pairs at distance d join class
 * k where k w < d <= (k + 1) w (the first class from 0). */
typedef struct mosaro_variogram_options {
    size_t struct_size;
    double cutoff;          /* 0: a third of the samples' bounding-box diagonal */
    double width;           /* 0: cutoff / 15 */
    const double* azimuths; /* directions, degrees clockwise from north; null: omnidirectional */
    int direction_count;
    double tolerance; /* degrees either side of a direction; 0: 90 / direction_count */
    double bandwidth; /* largest distance from a direction's axis; 0: none */
    mosaro_estimator estimator;
    int cloud;        /* nonzero: keep every pair within the cutoff */
    int map;          /* nonzero: the variogram map over lag vectors */
    int thread_count; /* 0: every core */
} mosaro_variogram_options;

MOSARO_API void mosaro_variogram_options_init_size(mosaro_variogram_options* options, size_t size);
#define mosaro_variogram_options_init(options) mosaro_variogram_options_init_size((options), sizeof *(options))

typedef struct mosaro_variogram mosaro_variogram;

/* The experimental variogram of the samples (values NaN: left out).
 * options may be null (the defaults). */
MOSARO_API mosaro_status mosaro_variogram_compute(const double* x, const double* y, const double* value,
                                                  int sample_count, const mosaro_variogram_options* options,
                                                  mosaro_variogram** variogram);
MOSARO_API void mosaro_variogram_free(mosaro_variogram* variogram);
MOSARO_API int mosaro_variogram_direction_count(const mosaro_variogram* variogram);

/* The classes of one direction; the arrays are owned by the variogram. */
typedef struct mosaro_lag_classes {
    size_t struct_size; /* set by the caller to sizeof(mosaro_lag_classes) */
    int omnidirectional;
    double azimuth;
    double tolerance;
    double cutoff;
    double width;
    int class_count;
    const double* lower; /* class edges (lower, upper] */
    const double* upper;
    const double* pairs;    /* pair count */
    const double* distance; /* mean distance of the pairs; NaN without pairs */
    const double* gamma;    /* semivariance; NaN without pairs */
} mosaro_lag_classes;
MOSARO_API mosaro_status mosaro_variogram_classes(const mosaro_variogram* variogram, int direction,
                                                  mosaro_lag_classes* classes);
/* The cloud (asked for in the options): every pair (i, j), i > j, within
 * the cutoff with its distance and half its squared difference. */
MOSARO_API mosaro_status mosaro_variogram_cloud(const mosaro_variogram* variogram, long long* count, const int** i,
                                                const int** j, const double** distance, const double** gamma);
/* The map (asked for in the options): size x size cells of the width,
 * row by row from the south-west, cell (row, column) centred at lag
 * (first + column width, first + row width); NaN where no pair falls. */
MOSARO_API mosaro_status mosaro_variogram_map(const mosaro_variogram* variogram, int* size, double* first,
                                              double* width, const double** pairs, const double** gamma);

/* A variogram computed block by block (a set too large for one process):
 * the sums of the pairs (a, b) within the cutoff with a among the first
 * owned_count samples and rank[b] < rank[a]. Hand each block its own
 * samples first, then every other sample within the cutoff of them, with
 * their ranks in the whole set: every pair of the set is then counted once,
 * and the sums of all blocks add up to the whole set's. options must give
 * the cutoff and the width (their defaults depend on the whole set). Out:
 * per direction (max(direction_count, 1)) and class (floor(cutoff / width)
 * + 1), direction after direction, the pair count, the distance sum and
 * the statistic sum (squared differences, or the square roots of absolute
 * ones for Cressie's estimator). */
MOSARO_API mosaro_status mosaro_variogram_sums(const double* x, const double* y, const double* value,
                                               const long long* rank, int sample_count, int owned_count,
                                               const mosaro_variogram_options* options, double* pairs, double* distance,
                                               double* statistic);
/* The variogram of sums added over the blocks (the same options). */
MOSARO_API mosaro_status mosaro_variogram_from_sums(const mosaro_variogram_options* options, const double* pairs,
                                                    const double* distance, const double* statistic,
                                                    mosaro_variogram** variogram);

/* Weightings of the fit (R's gstat fit.method codes). */
typedef enum mosaro_fit_weights {
    MOSARO_WEIGHTS_PAIRS = 1,            /* N_j */
    MOSARO_WEIGHTS_PAIRS_OVER_MODEL = 2, /* N_j / gamma_model(h_j)^2 */
    MOSARO_WEIGHTS_EQUAL = 6,            /* ordinary least squares */
    MOSARO_WEIGHTS_PAIRS_OVER_LAG = 7    /* N_j / h_j^2, the default */
} mosaro_fit_weights;

/* Fits a template ("Nug + Sph", "Nug + Sph + Exp", values written are
 * fixed: "0.1 Nug + Sph(500)"; null: "Nug + Sph") to one direction's
 * classes by weighted least squares (weights 0: the default). The model
 * (struct_size set by the caller) and its weighted squared error (may be
 * null) on success; MOSARO_ERROR_FIT saying why otherwise. */
MOSARO_API mosaro_status mosaro_variogram_fit(const mosaro_variogram* variogram, int direction,
                                              const char* model_template, int weights, mosaro_model* model,
                                              double* weighted_squared_error);

/* Kinds of kriging. Ordinary kriging with drift terms or covariates is
 * universal kriging or kriging with an external drift. */
typedef enum mosaro_kind {
    MOSARO_KIND_ORDINARY = 0, /* unknown constant mean (plus the drift) */
    MOSARO_KIND_SIMPLE = 1    /* known mean (the `mean` field); no drift */
} mosaro_kind;

/* Polynomial drift terms (after the constant), any subset. */
#define MOSARO_DRIFT_X 1u
#define MOSARO_DRIFT_XX 2u
#define MOSARO_DRIFT_Y 4u
#define MOSARO_DRIFT_YY 8u
#define MOSARO_DRIFT_XY 16u

typedef enum mosaro_target_kind {
    MOSARO_TARGET_GRID = 0,  /* the nodes of a grid, or of a window of one */
    MOSARO_TARGET_POINTS = 1 /* any list of points */
} mosaro_target_kind;

/* One prediction run. Fill it with mosaro_prediction_init, then set the
 * fields; it grows only at its end. */
typedef struct mosaro_prediction {
    size_t struct_size;

    /* Samples: a NaN value leaves the sample out (counted in the report);
     * coordinates must be finite. */
    const double* x;
    const double* y;
    const double* value;
    int sample_count;

    /* External drift: covariate_count covariates, each one array at the
     * samples (sample_count values) and one at the targets (one value per
     * target, in the order of the outputs). */
    int covariate_count;
    const double* const* sample_covariates;
    const double* const* target_covariates;

    mosaro_kind kind;
    double mean;          /* simple kriging only (NaN by default: not given) */
    unsigned drift_terms; /* MOSARO_DRIFT_*; ordinary kriging only */
    /* Lognormal kriging of ln(value + shift): estimates exp(m + s2/2) -
     * shift, variances (exp(s2) - 1) exp(2m + s2). */
    int lognormal;
    double shift;

    /* The model; null: fitted (fit_template to the experimental variogram
     * formed by `variogram`, null: the defaults, omnidirectional; of the
     * residuals from the drift when there is one). */
    const mosaro_model* model;
    const mosaro_variogram_options* variogram;
    const char* fit_template; /* null: "Nug + Sph" */
    int fit_weights;          /* 0: MOSARO_WEIGHTS_PAIRS_OVER_LAG */
    mosaro_model* model_used; /* optional out (struct_size set): the model the run used */

    /* The search neighbourhood. */
    int nmax;               /* the nearest nmax samples; 0: MOSARO_DEFAULT_NEIGHBOUR_COUNT; -1: every sample */
    int nmin;               /* fewer within reach: no estimate (NaN, counted); 0: none */
    double max_distance;    /* 0: no limit */
    int anisotropic_search; /* distances in the first structure's anisotropy */
    int sectors;            /* 0, 4 (quadrants) or 8 (octants) */
    int max_per_sector;     /* with sectors: at most this many from each */

    mosaro_target_kind target;
    /* Grid: the first node (x_min, y_min), the node spacing and the node
     * counts of the whole grid; a window of it: its first column and row and
     * its size (0 sizes: the whole grid). A window's nodes are the whole
     * grid's, bit for bit. */
    double grid_x;
    double grid_y;
    double cell_size_x;
    double cell_size_y;
    int node_count_x;
    int node_count_y;
    int window_column;
    int window_row;
    int window_columns;
    int window_rows;
    /* Points. */
    const double* target_x;
    const double* target_y;
    long long target_count;
    /* Block kriging: blocks of this size centred on the targets,
     * discretised by block_points_x x block_points_y points (0: 4 x 4);
     * 0 sizes: point kriging. */
    double block_size_x;
    double block_size_y;
    int block_points_x;
    int block_points_y;

    /* Outputs, one per target (a grid window row after row, row 0 at its
     * southern edge, x fastest). NaN where a target has no estimate. */
    double* estimate;
    double* variance;     /* optional */
    double* log_estimate; /* optional, lognormal: the kriged logarithm */
    double* log_variance; /* optional, lognormal: its variance */

    int thread_count; /* 0: every core */
    mosaro_progress_fn progress;
    void* progress_user_data;

    /* The frame every coordinate is taken in: the bounding box (x_min,
     * y_min, x_max, y_max) whose middle is the local origin and whose
     * diagonal scales the model of a variogram without a sill; null: the
     * samples' own bounding box. Tiles of one grid, each handed part of the
     * samples, give the whole grid's bits when they share the frame (and a
     * given model). */
    const double* frame;

    /* Optional out: each target's reciprocal condition estimate (NaN where
     * no system was solved). */
    double* reciprocal_condition;
} mosaro_prediction;

MOSARO_API void mosaro_prediction_init_size(mosaro_prediction* prediction, size_t size);
#define mosaro_prediction_init(prediction) mosaro_prediction_init_size((prediction), sizeof *(prediction))

/* What a prediction run met. */
typedef struct mosaro_prediction_report {
    size_t struct_size; /* set by the caller to sizeof(mosaro_prediction_report) */
    int model_fitted;
    double weighted_squared_error; /* of the fit; NaN for a given model */
    int samples_used;
    int samples_left_out; /* values that are NaN */
    long long targets;
    long long no_data;                    /* targets without an estimate */
    long long too_few_neighbours;         /* of those, fewer than nmin in reach */
    long long ill_conditioned;            /* reciprocal condition below 1e-10 */
    long long minimum_norm;               /* of those, singular systems given their minimum-norm solution */
    double smallest_reciprocal_condition; /* NaN when no system was solved */
    double variogram_cutoff;              /* of the experimental variogram fitted; NaN for a given model */
    double variogram_width;
} mosaro_prediction_report;

/* The samples a window of a grid needs for the same bits as the whole
 * grid: every sample within a conservative reach of the window (the
 * nmax-th neighbour's distance from its centre plus the window's diagonal,
 * in the search's metric; max_distance plus the half diagonal when that is
 * less; every sample for a sector search without max_distance or a global
 * neighbourhood). Writes their indices, ascending, to `indices` (room for
 * sample_count) and their number to *count. The request is read as
 * mosaro_predict reads it; its model must be given when the search is
 * anisotropic. */
MOSARO_API mosaro_status mosaro_tile_samples(const mosaro_prediction* prediction, long long* indices, long long* count);

/* The experimental variogram a prediction fits its model to (with the
 * request's variogram options): of the values (their logarithms for
 * lognormal kriging), less their drift fitted by ordinary least squares
 * when there is one; to show it beside the fitted model. */
MOSARO_API mosaro_status mosaro_prediction_variogram(const mosaro_prediction* prediction, mosaro_variogram** variogram);

/* Predicts; report may be null. Every refusal comes before anything is
 * written. A target without an estimate is NaN and counted: a run whose
 * targets are all without one still returns MOSARO_OK. */
MOSARO_API mosaro_status mosaro_predict(const mosaro_prediction* prediction, mosaro_prediction_report* report);

/* Sequential Gaussian simulation (since 0.5): equally likely maps that
 * honour the samples and the variogram of their normal scores. Each
 * realisation follows its own random path and draws from its own random
 * stream (the library's own generator, seeded by `seed` and the
 * realisation's index), so a seed gives the same bits at any thread count
 * and on every platform. Realisations run on every core; each needs memory
 * for one grid (two while one made ahead of its turn waits), and they are
 * handed over one at a time, in order. */

/* Receives realisation `realisation` (0-based): `count` values, node after
 * node (row 0 at the southern edge, x fastest), valid during the call.
 * Return nonzero to go on, 0 to stop (MOSARO_ERROR_CANCELLED). Called in
 * realisation order, never by two threads at once. */
typedef int (*mosaro_realisation_fn)(void* user_data, int realisation, const double* values, long long count);

typedef struct mosaro_simulation {
    size_t struct_size;

    /* Conditioning samples (a NaN value: left out and counted); none (0):
     * an unconditional simulation of `mean` plus the Gaussian field of the
     * model, which must then be given. */
    const double* x;
    const double* y;
    const double* value;
    int sample_count;
    double mean; /* unconditional only */

    /* The model of the normal scores; null: fitted (the options as for a
     * prediction). model_used: optional out. */
    const mosaro_model* model;
    const mosaro_variogram_options* variogram;
    const char* fit_template; /* null: "Nug + Sph" */
    int fit_weights;          /* 0: MOSARO_WEIGHTS_PAIRS_OVER_LAG */
    mosaro_model* model_used;

    /* The back-transform's tails: the values reached at probability 0 and
     * 1, linearly in the probability beyond the data; NaN (the default):
     * the data's smallest and largest value, so that no value leaves the
     * data's range. */
    double lower_tail;
    double upper_tail;

    /* The grid: its first node, spacing and node counts. */
    double grid_x;
    double grid_y;
    double cell_size_x;
    double cell_size_y;
    int node_count_x;
    int node_count_y;

    /* Neighbours of a node: the nmax nearest samples and the
     * nmax_simulated nearest nodes simulated before it (0: 16 each); with
     * nmax_simulated -1, the nmax nearest of the two together (R's gstat's
     * count); within max_distance (0: three times the model's largest
     * range). */
    int nmax;
    int nmax_simulated;
    double max_distance;

    int realisations; /* at least 1 */
    unsigned long long seed;

    /* Outputs, all optional: a callback per realisation, or room for every
     * realisation (realisations x nodes values); the E-type mean and
     * variance over the realisations; the share of realisations above each
     * threshold (threshold_count x nodes values). */
    mosaro_realisation_fn realisation;
    void* realisation_user_data;
    double* values;
    double* etype_mean;
    double* etype_variance;
    const double* thresholds;
    int threshold_count;
    double* exceedance;

    int thread_count; /* 0: every core */
    mosaro_progress_fn progress;
    void* progress_user_data;
} mosaro_simulation;

MOSARO_API void mosaro_simulation_init_size(mosaro_simulation* simulation, size_t size);
#define mosaro_simulation_init(simulation) mosaro_simulation_init_size((simulation), sizeof *(simulation))

typedef struct mosaro_simulation_report {
    size_t struct_size; /* set by the caller to sizeof(mosaro_simulation_report) */
    int model_fitted;
    int samples_used;
    int samples_left_out;
    int realisations; /* handed over */
} mosaro_simulation_report;

/* Simulates; report may be null. Refuses (before anything is written): no
 * samples and no model, a model without a sill (power), fewer than one
 * realisation, a grid that is not usable. A threshold outside the data's
 * range gives MOSARO_WARNING_THRESHOLD_OUTSIDE (all outputs written). */
MOSARO_API mosaro_status mosaro_simulate(const mosaro_simulation* simulation, mosaro_simulation_report* report);

#ifdef __cplusplus
} /* extern "C" */

/*
 * Base estimator: carries one gridding run (counts, layout, extent, the two
 * directional experimental variograms and their fitted models) and runs the
 * fixed pipeline variogram -> fit -> sweep -> release.
 *
 * Copies are shallow: the variogram table pointers are copied, never the
 * tables. The tables exist only while KrigingResultValue runs.
 */
class MOSARO_API CKriging {
public:
    CKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    CKriging(const CKriging& other);
    CKriging& operator=(const CKriging& other);

    /* Virtual slots, in this order. */
    virtual void KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY GridCell);
    virtual void CalculateKrigingValue(float** ppPoints, float* pGrid);
    virtual void CalculateVariogramValue(float** ppPoints);
    virtual ~CKriging();

    void CalculateVariogramConstant();
    void CalculateCoefficient(float** ppMatrix, float* pRightSide, int nOrder, float* pCoefficient);
    /* Writes a grid of (nCellCountX + 1) * (nCellCountY + 1) floats to a
     * binary grid file. Throws std::system_error, leaving no file behind,
     * when the file cannot be written. */
    void OutKrigingGridFile(float* pGrid, TGRIDCELLXY GridCell, char* pszFileName);

    int m_nPointCount;
    int m_nNeighbourCount;
    float** m_ppVariogramX;
    float** m_ppVariogramY;
    float m_fMethodParameter;
    TGRIDCELLXY m_GridCell;
    TRECTXYMINMAX m_Rect;
    TVARIOGRAMMODEL m_VariogramModel[2];
};

/* Ordinary kriging (method code 1). */
class MOSARO_API COrdinaryKriging : public CKriging {
public:
    COrdinaryKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
                     TRECTXYMINMAX Rect);
    COrdinaryKriging(const COrdinaryKriging& other);
    COrdinaryKriging& operator=(const COrdinaryKriging& other);
    ~COrdinaryKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
};

#endif /* __cplusplus */

#endif /* MOSARO_H */
