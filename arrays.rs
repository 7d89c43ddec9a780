
fn main() {  }
