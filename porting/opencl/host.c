// The host of blockwalk's OpenCL kernel, the start of a GPU port's bench:
//   blockwalk_opencl KERNEL DIR OUT
// reads DIR/calls.bin and DIR/planes.bin (make_vectors --formats bin, of a set or the walk),
// checks that each call reads inside its plane, runs interpolate_blocks of KERNEL (blockwalk.cl)
// on the first OpenCL device found, and writes the blocks to OUT, for check_walk DIR --blocks
// OUT. Exit status 0; 1 on a failure, said on standard error; 77 where there is no OpenCL
// platform or device. C99.
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>
#include <blockwalk/interpolate.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { call_words = 9, no_device = 77 };

static int failed(const char* what, const char* why) {
  fprintf(stderr, "blockwalk_opencl: %s: %s\n", what, why);
  return 1;
}

static int cl_failed(const char* call, cl_int error) {
  fprintf(stderr, "blockwalk_opencl: %s failed with OpenCL error %d\n", call, (int)error);
  return 1;
}

// The whole file at `path`, with a 0 after it; NULL where it cannot be read.
static unsigned char* read_all(const char* path, size_t* size) {
  FILE* in = fopen(path, "rb");
  unsigned char* bytes = NULL;
  long length = -1;
  if (in && fseek(in, 0, SEEK_END) == 0 && (length = ftell(in)) >= 0 &&
      fseek(in, 0, SEEK_SET) == 0 && (bytes = malloc((size_t)length + 1)) != NULL &&
      fread(bytes, 1, (size_t)length, in) == (size_t)length) {
    bytes[length] = 0;
    *size = (size_t)length;
  } else {
    free(bytes);
    bytes = NULL;
  }
  if (in) fclose(in);
  return bytes;
}

static int32_t word(const unsigned char* record, int k) {
  const unsigned char* b = record + 4 * k;
  return (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 |
                   (uint32_t)b[3] << 24);
}

// Whether call n of `calls` reads inside its plane, and its plane inside `planes_size` bytes.
static int reads_inside(const unsigned char* calls, size_t n, uint64_t planes_size) {
  const unsigned char* c = calls + 4 * call_words * n;
  const int32_t stride = word(c, 1), rows = word(c, 7), base = word(c, 8);
  if (stride < 1 || rows < 0 || base < 0) return 0;
  const uint64_t plane = 3 * (uint64_t)stride * (uint64_t)rows;
  uint64_t first = 0, last = 0;
  return (uint64_t)base <= planes_size && plane <= planes_size - (uint64_t)base &&
         blockwalk_footprint(stride, word(c, 2), word(c, 3), word(c, 4), word(c, 5), word(c, 6),
                             &first, &last) &&
         last < plane;
}

#define CHECKED(call)                                          \
  do {                                                         \
    const cl_int error_ = (call);                              \
    if (error_ != CL_SUCCESS) return cl_failed(#call, error_); \
  } while (0)

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: blockwalk_opencl KERNEL DIR OUT\n");
    return 1;
  }
  char path[4096];
  size_t source_size = 0, calls_size = 0, planes_size = 0;
  unsigned char* source = read_all(argv[1], &source_size);
  if (!source) return failed(argv[1], "cannot be read");
  snprintf(path, sizeof path, "%s/calls.bin", argv[2]);
  unsigned char* calls = read_all(path, &calls_size);
  if (!calls) return failed(path, "cannot be read");
  if (calls_size == 0 || calls_size % (4 * call_words)) {
    return failed(path, "not a whole number of calls of 9 32-bit words");
  }
  const size_t count = calls_size / (4 * call_words);
  snprintf(path, sizeof path, "%s/planes.bin", argv[2]);
  unsigned char* planes = read_all(path, &planes_size);
  if (!planes) return failed(path, "cannot be read");
  for (size_t n = 0; n < count; ++n) {
    if (!reads_inside(calls, n, planes_size)) {
      fprintf(stderr, "blockwalk_opencl: call %zu reads outside its plane\n", n);
      return 1;
    }
  }

  cl_platform_id platforms[16];
  cl_uint platform_count = 0;
  cl_device_id device = NULL;
  if (clGetPlatformIDs(16, platforms, &platform_count) != CL_SUCCESS) platform_count = 0;
  for (cl_uint p = 0; p < platform_count && !device; ++p) {
    if (clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 1, &device, NULL) != CL_SUCCESS) {
      device = NULL;
    }
  }
  if (!device) {
    fprintf(stderr, "blockwalk_opencl: no OpenCL platform with a device\n");
    return no_device;
  }
  char name[256] = "";
  CHECKED(clGetDeviceInfo(device, CL_DEVICE_NAME, sizeof name, name, NULL));
  cl_int error = CL_SUCCESS;
  cl_context context = clCreateContext(NULL, 1, &device, NULL, NULL, &error);
  CHECKED(error);
  cl_command_queue queue = clCreateCommandQueue(context, device, 0, &error);
  CHECKED(error);
  const char* text = (const char*)source;
  cl_program program = clCreateProgramWithSource(context, 1, &text, &source_size, &error);
  CHECKED(error);
  if (clBuildProgram(program, 1, &device, "", NULL, NULL) != CL_SUCCESS) {
    static char log[1 << 16];
    clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, sizeof log - 1, log, NULL);
    fprintf(stderr, "blockwalk_opencl: %s does not build:\n%s\n", argv[1], log);
    return 1;
  }
  cl_kernel kernel = clCreateKernel(program, "interpolate_blocks", &error);
  CHECKED(error);
  const cl_mem_flags in = CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR;
  cl_mem planes_buffer = clCreateBuffer(context, in, planes_size, planes, &error);
  CHECKED(error);
  cl_mem calls_buffer = clCreateBuffer(context, in, calls_size, calls, &error);
  CHECKED(error);
  cl_mem blocks_buffer =
      clCreateBuffer(context, CL_MEM_WRITE_ONLY, count * block_bytes, NULL, &error);
  CHECKED(error);
  CHECKED(clSetKernelArg(kernel, 0, sizeof planes_buffer, &planes_buffer));
  CHECKED(clSetKernelArg(kernel, 1, sizeof calls_buffer, &calls_buffer));
  CHECKED(clSetKernelArg(kernel, 2, sizeof blocks_buffer, &blocks_buffer));
  const size_t global[3] = {16, 16, count};
  CHECKED(clEnqueueNDRangeKernel(queue, kernel, 3, NULL, global, NULL, 0, NULL, NULL));
  unsigned char* blocks = malloc(count * block_bytes);
  if (!blocks) return failed("the blocks", "out of memory");
  CHECKED(clEnqueueReadBuffer(queue, blocks_buffer, CL_TRUE, 0, count * block_bytes, blocks, 0,
                              NULL, NULL));
  FILE* out = fopen(argv[3], "wb");
  if (!out || fwrite(blocks, 1, count * block_bytes, out) != count * block_bytes ||
      fclose(out) != 0) {
    return failed(argv[3], "cannot be written");
  }
  printf("%zu blocks from %s, in %s\n", count, name, argv[3]);
  clReleaseMemObject(blocks_buffer);
  clReleaseMemObject(calls_buffer);
  clReleaseMemObject(planes_buffer);
  clReleaseKernel(kernel);
  clReleaseProgram(program);
  clReleaseCommandQueue(queue);
  clReleaseContext(context);
  free(blocks);
  free(planes);
  free(calls);
  free(source);
  return 0;
}
