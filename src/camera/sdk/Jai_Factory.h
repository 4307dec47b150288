// C interface of the camera SDK. jai_factory.cpp implements it and routes each
// camera to its backend (camera_backend.h): the simulator (jai_sim.h), which
// behaves as a camera does, or a real GigE Vision or USB3 Vision camera
// through Aravis (arv_backend.h). The camera settings file (camera_settings.h)
// chooses which cameras are listed. Cameras stream into the buffers queued by
// the caller; frames that find no queued buffer are counted as lost, frames
// that arrive incomplete as corrupt, and these are never delivered.
//
// Every call returns a status: J_ST_SUCCESS (0) on success, anything else on
// failure. Text outputs are NUL-terminated and limited by the caller's size,
// which is updated to the length written including the terminator.
//
// Thread safety: all calls may be made from any thread. J_Event_ExitCondition
// is meant to be called from another thread than the one waiting.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t J_STATUS_TYPE;
typedef uint8_t bool8_t;
typedef struct j_factory* FACTORY_HANDLE;
typedef struct j_camera* CAM_HANDLE;
typedef struct j_stream* STREAM_HANDLE;
typedef struct j_buffer* BUF_HANDLE;
typedef struct j_condition* J_COND_HANDLE;
typedef struct j_event* EVT_HANDLE;

enum {
    J_ST_SUCCESS = 0,
    J_ST_INVALID_BUFFER_SIZE = -1001,
    J_ST_INVALID_HANDLE = -1002,
    J_ST_INVALID_ID = -1003,
    J_ST_ACCESS_DENIED = -1004,
    J_ST_NO_DATA = -1005,
    J_ST_ERROR = -1006,
    J_ST_INVALID_PARAMETER = -1007,
    J_ST_TIMEOUT = -1008,
    J_ST_NOT_IMPLEMENTED = -1009,
};

// Factory information codes.
enum { FAC_INFO_VERSION = 0 };

// Camera information codes.
enum { CAM_INFO_MODELNAME = 2, CAM_INFO_IP = 1001 };

// Results of J_Event_WaitForCondition. A stream whose camera stopped
// answering (unplugged, powered off) hands out the frames it had delivered,
// then answers J_COND_WAIT_ERROR to every wait.
enum {
    J_COND_WAIT_ERROR = -1,
    J_COND_WAIT_TIMEOUT = 0,
    J_COND_WAIT_SIGNAL = 1,
    J_COND_WAIT_EXIT = 2,
};

// Stream event types.
enum { EVENT_NEW_BUFFER = 1 };

// Stream acquisition flags and queue ids.
enum { ACQ_START_NEXT_IMAGE = 1, ACQ_STOP_FLAG_KILL = 1 };
enum { ACQ_QUEUE_INPUT_TO_OUTPUT = 0, ACQ_QUEUE_OUTPUT_DISCARD = 1 };

// Stream parameter: buffer handling mode (accepts a 64-bit value).
enum { STREAM_PARAM_BUFFER_HANDLING = 3 };

// Buffer information codes and the byte size of their values.
enum {
    BUFFER_INFO_BASE = 0,                // 8: pixel address
    BUFFER_INFO_SIZE = 1,                // 8: image bytes
    BUFFER_INFO_TIMESTAMP = 3,           // 8
    BUFFER_INFO_NUM_QUEUED = 4,          // 8: buffers queued for filling
    BUFFER_INFO_WIDTH = 10,              // 4
    BUFFER_INFO_HEIGHT = 11,             // 4
    BUFFER_INFO_XOFFSET = 12,            // 4
    BUFFER_INFO_YOFFSET = 13,            // 4
    BUFFER_INFO_XPADDING = 14,           // 4
    BUFFER_INFO_FRAME_ID = 16,           // 8
    BUFFER_INFO_PIXELTYPE = 20,          // 8
    BUFFER_INFO_MISSING_PACKETS = 1001,  // 4
};

// Stream information codes; every value is 64-bit.
enum {
    STREAM_INFO_NUM_DELIVERED = 1,
    STREAM_INFO_NUM_UNDERRUN = 2,  // frames lost for want of a queued buffer
    STREAM_INFO_NUM_AWAIT_DELIVERY = 5,
    STREAM_INFO_NUM_CORRUPT = 1002,
};

// Image rotation codes.
enum { J_ROTATE_180 = 2 };

// Pixel formats: bits 16 to 23 hold the bits per pixel.
enum {
    J_GVSP_PIX_MONO8 = 0x01080001,
    J_GVSP_PIX_MONO10 = 0x01100003,
    J_GVSP_PIX_MONO12 = 0x01100005,
    J_GVSP_PIX_MONO16 = 0x01100007,
};

// Description of one delivered image.
typedef struct {
    uint64_t iPixelType;
    uint32_t iSizeX;
    uint32_t iSizeY;
    uint32_t iImageSize;
    uint8_t* pImageBuffer;
    uint64_t iTimeStamp;
    uint32_t iMissingPackets;
    uint32_t iAnnouncedBuffers;
    uint32_t iQueuedBuffers;
    uint32_t iOffsetX;
    uint32_t iOffsetY;
    uint32_t iAwaitDelivery;
    uint64_t iBlockId;
    uint32_t iPaddingX;
    uint32_t iImageStatus;
} J_tIMAGE_INFO;

// Data carried by a new-buffer event (16 bytes).
typedef struct {
    BUF_HANDLE BufferHandle;
    uint64_t iFrameId;
} J_EVENT_DATA_NEW_BUFFER;

// Factory. Open with an empty text; Close releases every camera it opened.
J_STATUS_TYPE J_Factory_Open(const char* private_data, FACTORY_HANDLE* factory);
J_STATUS_TYPE J_Factory_Close(FACTORY_HANDLE factory);
J_STATUS_TYPE J_Factory_GetInfo(int32_t info, char* buffer, uint32_t* size);
J_STATUS_TYPE J_Factory_UpdateCameraList(FACTORY_HANDLE factory, bool8_t* changed);
J_STATUS_TYPE J_Factory_GetNumOfCameras(FACTORY_HANDLE factory, uint32_t* count);
J_STATUS_TYPE J_Factory_GetCameraIDByIndex(FACTORY_HANDLE factory, int32_t index, char* buffer,
                                           uint32_t* size);
J_STATUS_TYPE J_Factory_GetCameraInfo(FACTORY_HANDLE factory, const char* camera_id, int32_t info,
                                      char* buffer, uint32_t* size);

// Camera.
J_STATUS_TYPE J_Camera_Open(FACTORY_HANDLE factory, const char* camera_id, CAM_HANDLE* camera,
                            int32_t reserved);
J_STATUS_TYPE J_Camera_Close(CAM_HANDLE camera);
J_STATUS_TYPE J_Camera_GetValueInt64(CAM_HANDLE camera, const char* name, int64_t* value);
J_STATUS_TYPE J_Camera_SetValueString(CAM_HANDLE camera, const char* name, const char* value);
J_STATUS_TYPE J_Camera_ExecuteCommand(CAM_HANDLE camera, const char* name);
J_STATUS_TYPE J_Camera_GetNumOfDataStreams(CAM_HANDLE camera, uint32_t* count);
J_STATUS_TYPE J_Camera_CreateDataStream(CAM_HANDLE camera, uint32_t index, STREAM_HANDLE* stream);

// Data stream.
J_STATUS_TYPE J_DataStream_SetParam(STREAM_HANDLE stream, int32_t param, const void* value,
                                    uint32_t size);
J_STATUS_TYPE J_DataStream_AnnounceBuffer(STREAM_HANDLE stream, void* memory, uint32_t size,
                                          void* private_data, BUF_HANDLE* buffer);
J_STATUS_TYPE J_DataStream_QueueBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer);
J_STATUS_TYPE J_DataStream_RegisterEvent(STREAM_HANDLE stream, int32_t event_type,
                                         J_COND_HANDLE condition, EVT_HANDLE* event);
J_STATUS_TYPE J_DataStream_UnRegisterEvent(STREAM_HANDLE stream, int32_t event_type);
J_STATUS_TYPE J_DataStream_StartAcquisition(STREAM_HANDLE stream, int32_t flag, uint64_t count);
J_STATUS_TYPE J_DataStream_StopAcquisition(STREAM_HANDLE stream, int32_t flag);
J_STATUS_TYPE J_DataStream_FlushQueue(STREAM_HANDLE stream, int32_t queue);
J_STATUS_TYPE J_DataStream_RevokeBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer, void** memory,
                                        void** private_data);
J_STATUS_TYPE J_DataStream_GetBufferInfo(STREAM_HANDLE stream, BUF_HANDLE buffer, int32_t info,
                                         void* value, uint32_t* size);
J_STATUS_TYPE J_DataStream_GetStreamInfo(STREAM_HANDLE stream, int32_t info, void* value,
                                         uint32_t* size);
J_STATUS_TYPE J_DataStream_Close(STREAM_HANDLE stream);

// Events and wait conditions. A wait answers J_COND_WAIT_* in *result.
J_STATUS_TYPE J_Event_CreateCondition(J_COND_HANDLE* condition);
J_STATUS_TYPE J_Event_WaitForCondition(J_COND_HANDLE condition, uint32_t timeout_ms,
                                       int32_t* result);
J_STATUS_TYPE J_Event_ExitCondition(J_COND_HANDLE condition);
J_STATUS_TYPE J_Event_CloseCondition(J_COND_HANDLE condition);
J_STATUS_TYPE J_Event_GetData(EVT_HANDLE event, void* data, uint32_t* size);
J_STATUS_TYPE J_Event_Close(EVT_HANDLE event);

// Images.
J_STATUS_TYPE J_Image_Rotate(J_tIMAGE_INFO* image, int32_t rotation);

#ifdef __cplusplus
}
#endif
