/*
 * The library's exports, one line each: the thirteen steps, then the version
 * query. Data only, with no include guard: define VORN_CMU200_STEP(name) and,
 * when wanted, VORN_CMU200_VERSION_QUERY(name) before including it; name is
 * the export's name without "Vorn_CMU200_". Both are undefined at the end.
 */
#ifndef VORN_CMU200_STEP
#define VORN_CMU200_STEP(name)
#endif
#ifndef VORN_CMU200_VERSION_QUERY
#define VORN_CMU200_VERSION_QUERY(name)
#endif

VORN_CMU200_STEP(DcInit)
VORN_CMU200_STEP(MobInit)
VORN_CMU200_STEP(MakeCall)
VORN_CMU200_STEP(MobReset)
VORN_CMU200_STEP(MobClose)
VORN_CMU200_STEP(OBTInit)
VORN_CMU200_STEP(OBTHandOver)
VORN_CMU200_STEP(OBTChangeTCH)
VORN_CMU200_STEP(OBTChangeTXLevel)
VORN_CMU200_STEP(OBTEndCall)
VORN_CMU200_STEP(OBTOutputRFSpectrum)
VORN_CMU200_STEP(OBTPowervsTime)
VORN_CMU200_STEP(OBTRXLevelandQuality)
VORN_CMU200_VERSION_QUERY(GetVersion)

#undef VORN_CMU200_STEP
#undef VORN_CMU200_VERSION_QUERY
