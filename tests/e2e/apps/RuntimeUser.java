// A program for the tests of bundled runtimes: says which runtime runs it, can wait until
// the test lets it go on, and then reads the time-zone data of its runtime (lib/tzdb.dat),
// which a runtime removed from under it no longer has.
public class RuntimeUser {
    public static void main(String[] args) throws Exception {
        System.out.println("home " + System.getProperty("java.home"));
        System.out.flush();
        if (args.length == 2) {
            java.nio.file.Files.write(java.nio.file.Paths.get(args[0]), new byte[0]);
            java.nio.file.Path go = java.nio.file.Paths.get(args[1]);
            long end = System.currentTimeMillis() + 60000;
            while (!java.nio.file.Files.exists(go) && System.currentTimeMillis() < end) {
                Thread.sleep(20);
            }
        }
        System.out.println("zone " + java.time.ZoneId.of("Asia/Tokyo").getRules()
                .getOffset(java.time.Instant.EPOCH));
    }
}
