/*
 * Vorn_CMU200: driver library of a GSM phone production test station.
 *
 * A host test sequencer calls the steps below one at a time, on one thread.
 * Every step has the same form:
 *
 *   int32_t step(int32_t stepNumber, double *values, char (*names)[200], char *errorText);
 *
 * - stepNumber: its decimal text ("7", "-3") names the parameter file section
 *   that holds the step's keys.
 * - values: at least VORN_CMU200_RESULT_COUNT doubles; a step writes from
 *   index 1 upward and never writes index 0.
 * - names: parallel to values, entries of VORN_CMU200_RESULT_NAME_SIZE
 *   characters; a step that names its results writes NUL-terminated text from
 *   entry 1 upward.
 * - errorText: at least VORN_CMU200_ERROR_TEXT_SIZE characters; on failure it
 *   receives one line of text, always terminated within that size.
 *
 * A step returns 0 on success and -1 on failure, nothing else. On failure the
 * values and names are left as the host left them. No exception leaves the
 * library and it prints nothing.
 */
#ifndef VORN_CMU200_H
#define VORN_CMU200_H

#include <stdint.h>

#define VORN_CMU200_RESULT_COUNT 31
#define VORN_CMU200_RESULT_NAME_SIZE 200
#define VORN_CMU200_ERROR_TEXT_SIZE 512
#define VORN_CMU200_VERSION_TEXT "1.04"

/* The exports' calling convention: __stdcall on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define VORN_CMU200_CALL __stdcall
#else
#define VORN_CMU200_CALL
#endif

#if defined(_WIN32)
#if defined(VORN_CMU200_BUILDING)
#define VORN_CMU200_API __declspec(dllexport)
#else
#define VORN_CMU200_API __declspec(dllimport)
#endif
#elif defined(VORN_CMU200_BUILDING)
#define VORN_CMU200_API __attribute__((visibility("default")))
#else
#define VORN_CMU200_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef char Vorn_CMU200_ResultName[VORN_CMU200_RESULT_NAME_SIZE];

/* Copies "1.04" and its NUL into buffer (at least 5 characters); returns 0. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_GetVersion(char *buffer);

/* ---- The DC supply ---------------------------------------------------- */

/* Powers the phone. Opens the supply through VISA at the resource name of key
 * "GPIB" (default "GPIB0::14::INSTR"; a LAN supply is "TCPIP0::host::port::SOCKET"),
 * switches its output off first when "Reset" is 1 (the default), sends "Voltage"
 * (default "4") and "Current" (default "3") as the supply's own texts and switches
 * the output on; 1.5 s of waits (1 s without the reset). values[1] = 1.0; names are
 * never written. A voltage or current text of 20 characters or more is refused
 * before the supply is opened. Nothing is closed, on success or failure. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_DcInit(int32_t step, double *values, Vorn_CMU200_ResultName *names,
                                                            char *errorText);

/* ---- The phone --------------------------------------------------------- */

/* Opens the phone's serial link ("ComPort" COMn, "BaudRate" 115200, "DTR" 0,
 * "RTS" 1, "Prefix" ULC2), waits for the phone to answer (asking the operator
 * "Turn on phone!" when it does not), brings it into test mode by a software
 * reset when needed and stores the link handle in the host container.
 * values[1] = 1.0, names[1] = "COM3, 115200, ULC2". */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobInit(int32_t step, double *values,
                                                             Vorn_CMU200_ResultName *names, char *errorText);

/* Sets the phone's test mode on channel "BCCH" (20), waits up to 4 s for the
 * phone to report idle and lets it originate an emergency call on the
 * tester's cell. values[1] = 1.0, or 0.0 (and return 0) when the phone never
 * reported idle. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MakeCall(int32_t step, double *values,
                                                              Vorn_CMU200_ResultName *names, char *errorText);

/* Software reset of the phone, into normal mode when "SwitchToNormal" is
 * nonzero (default 0: no mode change). values[1] = 1.0. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobReset(int32_t step, double *values,
                                                              Vorn_CMU200_ResultName *names, char *errorText);

/* Closes the phone's link; reads no parameters. values[1] = the library's
 * close status, 0 to 255 (1 = closed); returns 0 whatever it is. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobClose(int32_t step, double *values,
                                                              Vorn_CMU200_ResultName *names, char *errorText);

/* ---- The tester: cell, call, handover ---------------------------------- */

/* Brings the CMU200 into service: opens its base system at GPIB address "GPIB"
 * (default 20), loads and enables the twelve-line path-loss table from section
 * "Attenuation" (keys GSM850_Low_CH ... PCS1900_High_CH, default 1.0 dB, held in
 * single precision), binds "Band" (850, 900 default, 1800, 1900) to secondary
 * address 1, opens its signalling session on connector "RF port" (default 1),
 * sets up the network and the cell on channel "BCCH" (default 20) at "BCCH_Power"
 * dBm (default -85) and starts signalling. values[1] = 1.0. The band sessions
 * that handovers of an earlier run opened are dropped. Failure text: "<operation> Failed! CMU200
 * Error:", or "Band Not Support!". */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTInit(int32_t step, double *values,
                                                             Vorn_CMU200_ResultName *names, char *errorText);

/* Hands the call over to band "Band" (default 900), opening that band's
 * signalling session on the next free secondary address (2, 3, ...) the first
 * time. values[1] = 1.0, names[1] = "Band=<label>;Chan=<channel>;TXLevel=<level>"
 * (labels GSM850, EGSM, DCS, PCS). Waits 3 s for 1900. Failure text:
 * "CMU200 Error: <status>. <operation> Failed! ", or "Band Not Support!". */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTHandOver(int32_t step, double *values,
                                                                 Vorn_CMU200_ResultName *names, char *errorText);

/* Moves the call to traffic channel "TCH" (default 32), recorded for the result
 * names of later steps. values[1] = 1.0. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTChangeTCH(int32_t step, double *values,
                                                                  Vorn_CMU200_ResultName *names, char *errorText);

/* Commands the phone to power control level "TXLevel" (default 5), recorded for
 * the result names of later steps. values[1] = 1.0. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTChangeTXLevel(int32_t step, double *values,
                                                                      Vorn_CMU200_ResultName *names, char *errorText);

/* Ends the call, switches signalling off and closes the base system; the tester
 * state is kept for whatever step comes next. values[1] = 1.0. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTEndCall(int32_t step, double *values,
                                                                Vorn_CMU200_ResultName *names, char *errorText);

/* ---- The measurements on the call -------------------------------------- */

/* Output RF spectrum: for every offset switched on by its key (default on),
 * modulation offsets first, then switching offsets, two entries from 1
 * upward: the lower side named "-0.10MHZ Modulation Spectrum" and the like,
 * then the upper side named "+...". Up to 30 values. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTOutputRFSpectrum(int32_t step, double *values,
                                                                         Vorn_CMU200_ResultName *names,
                                                                         char *errorText);
/* Power versus time: values[1..4] from the power fetch, values[5] 1.0 when
 * the burst is inside the template, 0.0 otherwise; names[1]
 * "Band=%s;Chan=%d;TXLevel=%d". */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTPowervsTime(int32_t step, double *values,
                                                                    Vorn_CMU200_ResultName *names, char *errorText);
/* Receive level and quality at "CellPower": values[1] RX level, values[2] RX
 * quality, names[1] "Band=%s;Chan=%d;TXLevel=%d". Waits 1.5 s plus "Delay" ms. */
VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTRXLevelandQuality(int32_t step, double *values,
                                                                          Vorn_CMU200_ResultName *names,
                                                                          char *errorText);

/* ----------------------------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* VORN_CMU200_H */
