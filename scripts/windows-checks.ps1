# The Windows checks of scripts/windows, run natively on a Windows machine against the portable
# folder of dumpreporter-<version>-win64.zip. Where scripts/windows runs them under Wine on Linux,
# this runs them on Windows itself, where Wine's gaps do not apply (Schannel trusting the
# authority named by VELMORA_EXTRA_CA_CERTS, the system's own fonts, native sockets).
#
# The local web service, tools/devservice, is a Linux program: run it where this machine reaches
# it, for example in WSL (whose loopback ports Windows reaches as localhost):
#     devservice --make-ca certs
#     devservice --certs certs --port 8443 --store reports --account demo@velmora.test:demo-password:demo.velmora.test
# and give its address, its certificate authority and (to compare the stored dumps) its report
# folder as Windows sees it:
#     powershell -ExecutionPolicy Bypass -File scripts\windows-checks.ps1 -App C:\dumpreporter-1.0.0-win64 `
#         -ApiHost localhost:8443 -CaFile \\wsl$\Debian\home\me\certs\ca.pem -Reports \\wsl$\Debian\home\me\reports
#
# Every check prints PASS or FAIL; the exit code is the number of failures. The checks change the
# current user's settings of the company "VelmoraChecks" and its cache folder's queue.
param(
    [Parameter(Mandatory = $true)][string]$App,
    [Parameter(Mandatory = $true)][string]$ApiHost,
    [Parameter(Mandatory = $true)][string]$CaFile,
    [string]$Reports = ""
)
$ErrorActionPreference = "Stop"
$exe = Join-Path $App "dumpreporter.exe"
$company = "VelmoraChecks"
$software = "Tracker"
$login = "demo@velmora.test"
$password = "demo-password"
$version = (3 -shl 16) -bor (7 -shl 8) -bor 12
$common = @("-v", "$version", "-c", $company, "-s", $software)
$work = Join-Path $env:TEMP "velmora-windows-checks"
Remove-Item -Recurse -Force $work -ErrorAction SilentlyContinue
New-Item -ItemType Directory $work | Out-Null
$cache = Join-Path $env:USERPROFILE ".Velmora\cache"
$env:VELMORA_API_HOST = $ApiHost
$env:VELMORA_EXTRA_CA_CERTS = (Resolve-Path $CaFile).Path
$script:failures = 0
function Check([string]$what, [bool]$ok) {
    if ($ok) { Write-Host "  PASS  $what" } else { Write-Host "  FAIL  $what"; $script:failures++ }
}
function Run([string[]]$arguments, [int]$seconds = 120) {
    $p = Start-Process -FilePath $exe -ArgumentList $arguments -PassThru `
        -RedirectStandardError (Join-Path $work "stderr.txt") -RedirectStandardOutput (Join-Path $work "stdout.txt")
    if (-not $p.WaitForExit($seconds * 1000)) { $p.Kill(); return 124 }
    return $p.ExitCode
}
function StartWindow([string[]]$arguments) {
    $p = Start-Process -FilePath $exe -ArgumentList $arguments -PassThru
    $shell = New-Object -ComObject WScript.Shell
    for ($i = 0; $i -lt 300 -and -not $shell.AppActivate("Velmora Problem Reporter"); $i++) { Start-Sleep -Milliseconds 100 }
    Start-Sleep -Seconds 1
    return @($p, $shell)
}
function NewDump([string]$name, [int]$size) {
    $path = Join-Path $env:USERPROFILE $name
    $bytes = New-Object byte[] $size
    (New-Object Random).NextBytes($bytes)
    [Text.Encoding]::ASCII.GetBytes("MDMP").CopyTo($bytes, 0)
    [IO.File]::WriteAllBytes($path, $bytes)
    Copy-Item $path (Join-Path $work $name)
    return $path
}
function StoredReports() {
    if ($Reports -eq "") { return @() }
    return @(Get-ChildItem -Directory $Reports | Sort-Object LastWriteTime)
}

Write-Host "== the checks"
# 1. The help text and exit code -1 (255 where only a byte is kept).
$code = Run @()
Check "no arguments: exit code -1 (was $code)" ($code -eq -1 -or $code -eq 255)
Check "no arguments: the help text on standard error" ((Get-Content (Join-Path $work "stderr.txt") -Raw) -match "--dump=<value>")
# 2. The console's code page (866 on a Russian system) for a Cyrillic argument.
$codePage = [Console]::OutputEncoding.CodePage
$cyrillic = "$([char]0x430)$([char]0x431)$([char]0x432)" # three Cyrillic letters; the file stays ASCII
$code = Run @("--dump=C:\dump.dmp", "-v", $cyrillic, "-c", "co", "-s", "so")
$bytes = [IO.File]::ReadAllBytes((Join-Path $work "stderr.txt"))
$expected = [Text.Encoding]::GetEncoding($codePage).GetBytes("'$cyrillic'")
Check "standard error in the console's code page $codePage" ([BitConverter]::ToString($bytes).Contains([BitConverter]::ToString($expected)))
# 3. The settings in the registry, as Velmora writes them.
& (Join-Path $App "demosettings.exe") $company $software $login $password
$key = "HKCU:\Software\$company\$software"
Check "the settings are in the registry ($key)" ((Get-ItemProperty $key).Login_vm -eq $login)
Check "the password is stored scrambled" ((Get-ItemProperty $key).Passwd_vm -ne $password)
# 4. A report through the window, over TLS through Schannel, trusting VELMORA_EXTRA_CA_CERTS.
New-Item -ItemType Directory -Force $cache | Out-Null
$log = Join-Path $cache "qx.dumpreporter.velmora.log"
[IO.File]::WriteAllText($log, ("x" * 5242900))
$before = (StoredReports).Count
$dump = NewDump "velmora-crash.dmp" 40960
$p, $shell = StartWindow (@("--dump=$dump") + $common)
$shell.SendKeys("Sent from Windows.")
$shell.SendKeys("+{TAB}{ENTER}")
if (-not $p.WaitForExit(120000)) { $p.Kill() }
Check "the window ends with 0 after sending" ($p.ExitCode -eq 0)
Check "the dump file was deleted" (-not (Test-Path $dump))
if ($Reports -ne "") {
    $stored = StoredReports
    Check "the service stored one report" ($stored.Count -eq $before + 1)
    $report = $stored[-1].FullName
    Check "the stored dump is byte-identical" ((Get-FileHash (Join-Path $report "memorydump.bin")).Hash -eq (Get-FileHash (Join-Path $work "velmora-crash.dmp")).Hash)
    $message = Get-Content (Join-Path $report "message.txt") -Raw
    Check "the system line names this Windows" ($message -match "running on Windows (10|11)")
}
Check "the log rolled at 5 MiB" ((Get-Item "$log.1").Length -eq 5242900)
# 5. Two reports kept while the service cannot be reached, then two reporters at once.
$env:VELMORA_API_HOST = "127.0.0.1:1"
foreach ($name in @("first.dmp", "second.dmp")) {
    $dump = NewDump $name 20480
    $p, $shell = StartWindow (@("--dump=$dump") + $common)
    $shell.SendKeys("+{TAB}{ENTER}")
    Start-Sleep -Seconds 5
    $shell.SendKeys("{ENTER}")
    Start-Sleep -Seconds 1
    [void]$shell.AppActivate("Velmora Problem Reporter")
    $shell.SendKeys("{ESC}")
    if (-not $p.WaitForExit(60000)) { $p.Kill() }
}
$env:VELMORA_API_HOST = $ApiHost
$entries = @(Get-ChildItem (Join-Path $cache "pending") -File | Where-Object { $_.Name -notlike "*.lock" })
Check "two reports are kept in the queue (found $($entries.Count))" ($entries.Count -eq 2)
$before = (StoredReports).Count
$first = Start-Process -FilePath $exe -ArgumentList (@("+send-pending") + $common) -PassThru
$second = Start-Process -FilePath $exe -ArgumentList (@("+send-pending") + $common) -PassThru
Check "+send-pending, two at once: both end" ($first.WaitForExit(120000) -and $second.WaitForExit(120000))
Check "+send-pending: the dumps were deleted" (-not (Test-Path (Join-Path $env:USERPROFILE "first.dmp")) -and -not (Test-Path (Join-Path $env:USERPROFILE "second.dmp")))
if ($Reports -ne "") { Check "+send-pending: each report stored once" ((StoredReports).Count -eq $before + 2) }
# 6. --restart starts a Windows program.
$marker = Join-Path $work "restarted.txt"
$dump = NewDump "restart.dmp" 1024
$p, $shell = StartWindow (@("--dump=$dump") + $common + @("--restart=C:\Windows\System32\cmd.exe /c echo restarted> `"$marker`""))
$shell.SendKeys("{ESC}")
[void]$p.WaitForExit(60000)
Start-Sleep -Seconds 2
Check "--restart started cmd.exe with its arguments" ((Test-Path $marker) -and ((Get-Content $marker -Raw) -match "restarted"))

Write-Host "== $script:failures failed"
exit $script:failures
