/*
 * skp_hub.dll: the Safekeep plug-in of the hub launcher. Public header for launcher authors.
 *
 * The launcher loads skp_hub.dll and looks up five __stdcall exports by name. There is one DLL per
 * launcher bitness, built from the same sources: x86 for 32-bit launchers, x64 for 64-bit ones.
 * In both, every integer argument and result is 32 bits wide and the records have the same layout
 * (940 and 948 bytes); only pointers are the platform's size. Texts travel as UTF-16 inside records
 * that the launcher owns. The plug-in never allocates for the caller and keeps no pointer after
 * returning.
 *
 * Record protocol of LP_GetFunctionInfo and LP_GetStatus (pcbSize is required):
 *   - product not installed: the record is zeroed from byte 4 up to *pcbSize (when above 4),
 *     but never beyond the record size; *pcbSize becomes 0, the result is LP_OK;
 *   - *pcbSize == 0: size query, *pcbSize becomes the record size, LP_OK;
 *   - 0 < *pcbSize < record size: LP_ERR_TOO_SMALL, nothing changed;
 *   - otherwise the record for its nFunctionId is filled (LP_ERR_BAD_ARG for an id not served).
 */
#ifndef SKP_HUB_H
#define SKP_HUB_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SKP_HUB_API
#define SKP_HUB_API __stdcall
#endif

/* Function identifiers: quick links and category entries. */
enum {
    SKP_ID_QUICK_BACKUP_NOW = 1,
    SKP_ID_QUICK_REJUVENATE = 2,
    SKP_ID_RC_BACKUP = 101,
    SKP_ID_RC_RESTORE = 102,
    SKP_ID_RC_MAINTENANCE_REJUVENATE = 103,
    SKP_ID_RC_PRODUCT = 104
};

/* Return codes of the three queries. */
enum {
    LP_OK = 0,
    LP_ERR_TOO_SMALL = 1,
    LP_ERR_BAD_ARG = 2
};

/* nExecType of a catalogue entry. */
enum {
    LP_EXEC_COMMAND_LINE = 0,
    LP_EXEC_LIBRARY_EXPORT = 2
};

typedef uint16_t LP_WCHAR; /* UTF-16 code unit, the same as the Windows WCHAR */

/* Catalogue entry: 940 bytes. */
typedef struct LP_FUNCTION_INFO {
    int32_t nFunctionId;                   /* in: the id asked for; never written */
    int32_t nCatalogId;                    /* the launcher's catalogue number */
    int32_t nReserved;                     /* always 0 */
    int32_t bStatusAvailable;              /* 1: LP_GetStatus gives a status for this entry */
    LP_WCHAR szName[100];                  /* display name */
    LP_WCHAR szEventForStatusChange[100];  /* event signalled when the entry's state changes */
    int32_t nExecType;                     /* LP_EXEC_LIBRARY_EXPORT or LP_EXEC_COMMAND_LINE */
    LP_WCHAR szExecInterface[260];         /* "dll, Export" or a command line */
} LP_FUNCTION_INFO;

/* Status of the quick back-up-now link: 948 bytes. */
typedef struct LP_STATUS_INFO {
    int32_t nFunctionId;        /* in: the id asked for; never written */
    LP_WCHAR szName[100];       /* display name */
    int32_t nStatusKind;        /* always 4 */
    int32_t nStatusDetail;      /* always 0 */
    uint8_t reserved[16];       /* not written */
    LP_WCHAR szStatusText[100]; /* time and destination of the last backup */
    LP_WCHAR szStatusExtra[260];/* always empty */
} LP_STATUS_INFO;

#define LP_FUNCTION_INFO_SIZE 940u
#define LP_STATUS_INFO_SIZE 948u

int32_t SKP_HUB_API LP_GetCapability(int32_t nFunctionId, int32_t* pnAnswer);
int32_t SKP_HUB_API LP_GetFunctionInfo(int32_t nUnused, LP_FUNCTION_INFO* pInfo, uint32_t* pcbSize);
int32_t SKP_HUB_API LP_GetStatus(int32_t nUnused, LP_STATUS_INFO* pStatus, uint32_t* pcbSize);
int32_t SKP_HUB_API LP_BackupNow(void);
int32_t SKP_HUB_API LP_Rejuvenate(void);

/* Pointer types for GetProcAddress. */
typedef int32_t(SKP_HUB_API* PFN_LP_GetCapability)(int32_t, int32_t*);
typedef int32_t(SKP_HUB_API* PFN_LP_GetFunctionInfo)(int32_t, LP_FUNCTION_INFO*, uint32_t*);
typedef int32_t(SKP_HUB_API* PFN_LP_GetStatus)(int32_t, LP_STATUS_INFO*, uint32_t*);
typedef int32_t(SKP_HUB_API* PFN_LP_Action)(void);

#ifdef __cplusplus
}
#endif

/* The layouts are a binary contract with the launcher. */
#if defined(__cplusplus)
#define SKP_HUB_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define SKP_HUB_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
SKP_HUB_STATIC_ASSERT(sizeof(LP_FUNCTION_INFO) == LP_FUNCTION_INFO_SIZE, "catalogue record is 940 bytes");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, nFunctionId) == 0, "nFunctionId");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, nCatalogId) == 4, "nCatalogId");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, nReserved) == 8, "nReserved");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, bStatusAvailable) == 12, "bStatusAvailable");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, szName) == 16, "szName");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, szEventForStatusChange) == 216, "szEventForStatusChange");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, nExecType) == 416, "nExecType");
SKP_HUB_STATIC_ASSERT(offsetof(LP_FUNCTION_INFO, szExecInterface) == 420, "szExecInterface");
SKP_HUB_STATIC_ASSERT(sizeof(LP_STATUS_INFO) == LP_STATUS_INFO_SIZE, "status record is 948 bytes");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, nFunctionId) == 0, "nFunctionId");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, szName) == 4, "szName");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, nStatusKind) == 204, "nStatusKind");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, nStatusDetail) == 208, "nStatusDetail");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, reserved) == 212, "reserved");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, szStatusText) == 228, "szStatusText");
SKP_HUB_STATIC_ASSERT(offsetof(LP_STATUS_INFO, szStatusExtra) == 428, "szStatusExtra");

#endif /* SKP_HUB_H */
