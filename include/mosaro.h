/*
 * Mosaro: gridding of scattered samples by kriging.
 *
 * The one public header. From C it declares the entry point and the three
 * records; from C++ it also declares the two exported estimator classes.
 * Every estimate, coordinate and value is a single-precision float.
 */
#ifndef MOSARO_H
#define MOSARO_H

#define MOSARO_VERSION_MAJOR 0
#define MOSARO_VERSION_MINOR 1
#define MOSARO_VERSION_PATCH 0

#if defined(_WIN32)
#  if defined(MOSARO_STATIC)
#    define MOSARO_API
#  elif defined(MOSARO_BUILDING)
#    define MOSARO_API __declspec(dllexport)
#  else
#    define MOSARO_API __declspec(dllimport)
#  endif
#else
#  define MOSARO_API __attribute__((visibility("default")))
#endif

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
MOSARO_API int KARVO_ScatToGridWithKrig(const float* pData, int nValueColumn, int nPointCount,
                                        int nColumnCount, const float* pRect, float fCellSizeX,
                                        float fCellSizeY, int nCellCountX, int nCellCountY,
                                        int nNeighbourCount, int KrigingMethod,
                                        float fMethodParameter, const float* pMethodArray,
                                        float* pGrid);

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
    CKriging(int nPointCount, int nNeighbourCount, float fMethodParameter, TGRIDCELLXY GridCell,
             TRECTXYMINMAX Rect);
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
    COrdinaryKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                     TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    COrdinaryKriging(const COrdinaryKriging& other);
    COrdinaryKriging& operator=(const COrdinaryKriging& other);
    ~COrdinaryKriging() override;

    void CalculateKrigingValue(float** ppPoints, float* pGrid) override;
};

#endif /* __cplusplus */

#endif /* MOSARO_H */
