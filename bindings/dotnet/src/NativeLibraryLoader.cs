using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Lmvx
{
    // Where LMVX.dll comes from on Windows. A build for one runtime identifier has it beside the
    // program; a .NET Framework build through the package's targets has one copy per architecture
    // in lmvx\x64 and lmvx\arm64 beside the program, and the running process's is loaded first.
    // Elsewhere the system's loader finds liblmvx.so.
    internal static class NativeLibraryLoader
    {
        internal const string Folder = "lmvx";
        internal const string FileName = "LMVX.dll";

        // The subfolder of an architecture the library is built for; null for any other.
        internal static string? ArchitectureFolder(Architecture architecture) =>
            architecture == Architecture.X64 ? "x64" : architecture == Architecture.Arm64 ? "arm64" : null;

        static bool IsWindows => RuntimeInformation.IsOSPlatform(OSPlatform.Windows);

        /// <exception cref="PlatformNotSupportedException">A Windows process of an architecture the library is not built for.</exception>
        internal static void EnsureSupported()
        {
            if (IsWindows) EnsureSupported(RuntimeInformation.ProcessArchitecture);
        }

        internal static void EnsureSupported(Architecture architecture)
        {
            if (ArchitectureFolder(architecture) == null)
                throw new PlatformNotSupportedException(
                    "LMVX.dll is built for x64 and ARM64 processes only; this process is " + architecture +
                    ". Build the program for x64 or ARM64, or as AnyCPU with \"Prefer 32-bit\" off.");
        }

        // The architecture's copy beside the program, when the package's targets put one there.
        internal static string? ArchitecturePath(string baseDirectory, Architecture architecture)
        {
            string? folder = ArchitectureFolder(architecture);
            if (folder == null) return null;
            string path = Path.Combine(baseDirectory, Folder, folder, FileName);
            return File.Exists(path) ? path : null;
        }

        internal static void Load()
        {
            if (!IsWindows) return;
            EnsureSupported();
            string? path = ArchitecturePath(AppDomain.CurrentDomain.BaseDirectory, RuntimeInformation.ProcessArchitecture);
#if NET
            System.Runtime.InteropServices.NativeLibrary.SetDllImportResolver(typeof(Native).Assembly, (name, assembly, searchPath) =>
                name == "lmvx" && path != null && System.Runtime.InteropServices.NativeLibrary.TryLoad(path, out IntPtr handle) ? handle : IntPtr.Zero);
#else
            // Loaded once by full path, the module then answers every import of the name "lmvx".
            if (path != null) LoadLibraryExW(path, IntPtr.Zero, LoadWithAlteredSearchPath);
#endif
        }

#if !NET
        const uint LoadWithAlteredSearchPath = 0x00000008;

        [DllImport("kernel32", CharSet = CharSet.Unicode, ExactSpelling = true, SetLastError = true)]
        static extern IntPtr LoadLibraryExW(string fileName, IntPtr file, uint flags);
#endif
    }
}
